#pragma once

#include <QString>

// The demo's bridge data, shared by scripts/run-demo (through zovrant-db seed-demo), the
// benchmarks and the end-to-end test, so all three trade the same security for the same
// clients: the security SBER (board TQBR, lots of 10, two decimals, slippage 0.1, an
// amount of 50,000 and a share of 10 % for the sizing modes by security), the workspace
// "Demo.wsp", the strategy "Trend" and the given number of active clients C1, C2, ...
// with their accounts (L01-00000F01, SPB01, ...).

// Adds those rows, in one transaction, to an existing bridge database made from the
// schema (zovrant-db create-bridge). Throws std::runtime_error when the file is missing
// or a row cannot be added; nothing is added then.
void SeedDemoBridge(const QString& bridgePath, int clients);

// The client code, name and accounts of the demo's client with the given number (from 1).
QString DemoClientCode(int number);
QString DemoClientName(int number);
QString DemoAccountMicex(int number);
QString DemoAccountForts(int number);
