#include "host/pipeline/row_source.h"

#include <algorithm>

#include "host/host_error.h"

namespace host {

void readExactly(RowSource& source, std::uint8_t* bgra, int rows, const std::string& name) {
    const std::size_t stride = std::size_t{4} * static_cast<std::size_t>(source.layout().width);
    for (int done = 0; done < rows;) {
        const int got = source.next(bgra + static_cast<std::size_t>(done) * stride, rows - done);
        if (got <= 0) {
            throw HostError::reading(name, "has fewer rows than its picture");
        }
        done += got;
    }
}

int ReaderRows::next(std::uint8_t* bgra, int maxRows) {
    const int rows = std::min(maxRows, layout_.height - given_);
    if (rows <= 0) {
        return 0;
    }
    reader_.readRows(bgra, rows);
    given_ += rows;
    return rows;
}

}  // namespace host
