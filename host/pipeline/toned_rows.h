#pragma once

#include "host/pipeline/row_source.h"
#include "host/plugin/plugin_library.h"

namespace host {

// Rows toned through the plug-in's Process with `preset`, in place, a band
// at a time as they pass.
class TonedRows : public RowSource {
public:
    TonedRows(RowSource& source, const PluginObject& object, int preset)
        : source_(source), object_(object), preset_(preset) {}
    const PictureLayout& layout() const override { return source_.layout(); }
    int next(std::uint8_t* bgra, int maxRows) override;

private:
    RowSource& source_;
    const PluginObject& object_;
    int preset_;
};

}  // namespace host
