#include "host/pipeline/toned_rows.h"

#include "host/plugin/preset_list.h"

namespace host {

int TonedRows::next(std::uint8_t* bgra, int maxRows) {
    const int rows = source_.next(bgra, maxRows);
    if (rows > 0) {
        toneInPlace(object_, bgra, source_.layout().width, rows, preset_);
    }
    return rows;
}

}  // namespace host
