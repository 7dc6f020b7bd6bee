#pragma once

#include <cstdint>

// What the watch loop and the alert-table readers remember between ticks.
struct TWatchState {
    bool Watching = false;
    // Id of the last row already read per alert table; -1 when the table was closed
    // when the id was taken.
    int32_t ActiveLastId = 0;
    int32_t FilledLastId = 0;
    int32_t CanceledLastId = 0;
    // Busy mark of the ActiveOrders reader against a nested call from a modal loop.
    bool ActiveBusy = false;
    // Current frame (0..3) of the watch animation; frame 0 is the idle icon.
    int IconIndex = 0;
};
