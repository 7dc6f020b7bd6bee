#pragma once

#include "shell/ui/GridModel.h"

// The columns of the main window's grids, in order, with their titles and display formats.
QList<TGridColumn> grdClientOpenPositionsColumns();
QList<TGridColumn> OpenPositionsColumns();   // RxDBGrid1
QList<TGridColumn> ActiveOrdersColumns();    // RxDBGrid2
QList<TGridColumn> FilledOrdersColumns();    // RxDBGrid4
QList<TGridColumn> CanceledOrdersColumns();  // RxDBGrid3
QList<TGridColumn> QuotesColumns();          // RxDBGrid5
QList<TGridColumn> OrderNumberColumns();     // DBGrid1
QList<TGridColumn> PortfolioColumns();       // grdPortfolio
QList<TGridColumn> grdRiskRefusalsColumns();    // grdRiskRefusals
