#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "host/image/codecs.h"
#include "host/pipeline/row_source.h"

namespace host {

// Moves a picture's bands from `produce`, on a thread of its own, to
// `consume`, on the calling thread, so that decoding (and toning) overlaps
// encoding. `produce` fills a buffer of `bandRows` rows of `rowBytes` with
// up to that many rows and returns how many (0 at the end); `consume`
// takes them in order. At most `inFlight` bands exist at once. An
// exception from either side stops both and reaches the caller; so does an
// interruption (Interrupted), checked between bands. Should no thread
// start, both run on the calling thread, one band after the other.
void pumpBands(int bandRows, std::size_t rowBytes, int inFlight,
               const std::function<int(std::uint8_t* band, int rows)>& produce,
               const std::function<void(const std::uint8_t* band, int rows)>& consume);

// Every row of `source` into `writer`, in bands of about 2 MiB, four in
// flight; `rowsDone` (if given) is told each band's rows as written.
void pump(RowSource& source, ImageWriter& writer, const std::function<void(int rows)>& rowsDone = {});

}  // namespace host
