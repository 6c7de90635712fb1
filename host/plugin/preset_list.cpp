#include "host/plugin/preset_list.h"

#include <cmath>
#include <sstream>

#include "host/host_error.h"

namespace host {

namespace {

bool parseWholeNumber(const std::string& text, long long& value) {
    if (text.empty() || text.size() > 18) {
        return false;
    }
    std::size_t i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) {
        return false;
    }
    long long result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        result = result * 10 + (text[i] - '0');
    }
    value = negative ? -result : result;
    return true;
}

}  // namespace

int PresetList::resolve(const std::string& choice) const {
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (labels[i] == choice) {
            return static_cast<int>(i);
        }
    }
    long long index = 0;
    if (parseWholeNumber(choice, index)) {
        const long long lowest = static_cast<long long>(std::ceil(minimum));
        const long long highest = static_cast<long long>(std::floor(maximum));
        if (index < lowest || index > highest) {
            throw UsageError("preset index " + choice + " is outside " + std::to_string(lowest) + " to " +
                             std::to_string(highest));
        }
        return static_cast<int>(index);
    }
    std::ostringstream message;
    message << "unknown preset '" << choice << "'; valid presets are:";
    for (std::size_t i = 0; i < labels.size(); ++i) {
        message << "\n  " << i << "  " << labels[i];
    }
    throw UsageError(message.str());
}

PresetList describePresets(const PluginObject& object) {
    ParameterBlock record;
    object.describeParameter(record);
    PresetList list;
    std::string labels = record.labels();
    std::size_t start = 0;
    while (start <= labels.size()) {
        const std::size_t bar = labels.find('|', start);
        const std::size_t end = bar == std::string::npos ? labels.size() : bar;
        list.labels.push_back(labels.substr(start, end - start));
        if (bar == std::string::npos) {
            break;
        }
        start = bar + 1;
    }
    list.minimum = record.minimum();
    list.maximum = record.maximum();
    list.defaultValue = record.value();
    list.auxiliary = record.auxiliary();
    list.kind = record.kind();
    return list;
}

void toneInPlace(const PluginObject& object, void* pixels, int width, int height, int index) {
    ParameterBlock record;
    object.describeParameter(record);
    record.setValue(static_cast<double>(index));
    object.process(pixels, pixels, width, height, record);
}

}  // namespace host
