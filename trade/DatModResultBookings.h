#pragma once

#include "data/Batch.h"
#include "trade/ResultBookings.h"

#include <QString>
#include <optional>

class TDatMod;

// The result reader's bookings through the data module: the transaction report row of a
// transaction, the order-number link in the alert database and the booking of the
// terminal's result.
class TDatModResultBookings : public TResultBookings {
public:
    explicit TDatModResultBookings(TDatMod& datMod) : FDatMod(datMod) {}

    std::optional<TTransactionRow> LookUp(int transId) override;
    void UpdateOrderNumber(bool filled, qint64 idOrder) override;
    // The terminal's name and description are cut to the lengths of their columns
    // (trans_name 50, description 255 characters): an Access file refuses a longer text,
    // and the reader would then stop at that line at every pass.
    void BookResult(const TResultLine& result) override;
    // One transaction on each database (the report in the bridge database, the links in
    // the alert database). The bridge database's is committed first; should the alert
    // database's then fail, the reader books the same lines again, which stores the same
    // values once more.
    void BeginBookings() override;
    void CommitBookings() override;
    void RollbackBookings() noexcept override;

private:
    TDatMod& FDatMod;
    std::optional<TBatch> FBridge;
    std::optional<TBatch> FAlerts;
};

// The text cut to at most `length` UTF-16 units, never between the two halves of a
// surrogate pair.
QString CutToColumn(const QString& text, int length);

inline constexpr int TransNameLength = 50;
inline constexpr int DescriptionLength = 255;
