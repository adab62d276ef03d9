#include "store/optionsfile.h"

#include "runtime/errors.h"
#include "runtime/report.h"
#include "runtime/text.h"

namespace valumat {
namespace {

// Reads comma- or line-delimited items one after the other, as the options have always been read.
class ItemReader {
public:
    explicit ItemReader(const std::string& bytes) : lines_(splitLines(bytes)) {}

    // The next item; fails with RuntimeError ("Eingabe hinter Dateiende") when the file has no more.
    std::string next() {
        while (line_ < lines_.size()) {
            const std::string& text = lines_[line_];
            std::size_t p = pos_;
            while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) {
                ++p;
            }
            if (p >= text.size() && pos_ > 0) {
                // nothing left after a comma: the rest of this line is used up
                ++line_;
                pos_ = 0;
                continue;
            }
            std::string item;
            if (p < text.size() && text[p] == '"') {
                const auto close = text.find('"', p + 1);
                item = text.substr(p + 1, close == std::string::npos ? std::string::npos : close - p - 1);
                p = close == std::string::npos ? text.size() : close + 1;
                const auto comma = text.find(',', p);
                p = comma == std::string::npos ? text.size() : comma;
            } else {
                const auto comma = text.find(',', p);
                const std::size_t end = comma == std::string::npos ? text.size() : comma;
                item = text.substr(p, end - p);
                while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) {
                    item.pop_back();
                }
                p = end;
            }
            if (p < text.size()) {
                pos_ = p + 1; // after the comma, on the same line
            } else {
                ++line_;
                pos_ = 0;
            }
            return cp1252ToUtf8(item);
        }
        throw RuntimeError(err::kInputPastEnd);
    }

private:
    std::vector<std::string> lines_;
    std::size_t line_ = 0;
    std::size_t pos_ = 0;
};

bool itemOn(const std::string& item) {
    return !item.empty() && item.back() == '1';
}

} // namespace

std::string optionsFileText(const Options& options) {
    return std::string("autostart: ") + (options.autostart ? "1" : "0") + "\r\n" +
           "minimiert: " + (options.minimised ? "1" : "0") + "\r\n" +
           "\"exceloptimiert: " + (options.excelMode ? "1" : "0") + "\"\r\n";
}

bool ReadOptions(AppState& state, bool workingCopy) {
    state.RefreshInProgress = true;
    try {
        ItemReader items(state.files->readAll(state.path(workingCopy ? kOptionsWorkingCopy : kOptionsFile)));

        const bool autostart = itemOn(items.next());
        state.options.autostart = autostart;
        state.notify(Changed::Options);
        SetAutostart(state, autostart ? "ON" : "OFF");

        state.options.minimised = itemOn(items.next());
        state.notify(Changed::Options);

        if (itemOn(items.next())) {
            state.options.excelMode = true;
            state.notify(Changed::Options);
            state.modeCaption = kModeCaptionToNormal;
        } else {
            state.options.excelMode = false;
            state.notify(Changed::Options);
            state.modeCaption = kModeCaptionToExcel;
        }
        state.notify(Changed::ModeCaption);
    } catch (const RuntimeError& e) {
        state.RefreshInProgress = false;
        reportError(state.platform, "ReadOptions", e.description());
        return false;
    }
    state.RefreshInProgress = false;
    return true;
}

void SaveOptions(AppState& state, bool workingCopy) {
    try {
        auto file = state.files->create(state.path(workingCopy ? kOptionsWorkingCopy : kOptionsFile));
        const std::string text = optionsFileText(state.options);
        std::size_t start = 0;
        for (auto end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
            file->write(std::string_view(text).substr(start, end + 2 - start));
            start = end + 2;
        }
        file->commit();
    } catch (const RuntimeError& e) {
        reportError(state.platform, "SaveOptions", e.description());
        return;
    }
    SetAutostart(state, state.options.autostart ? "ON" : "OFF");
}

void SetAutostart(AppState& state, const std::string& onOff) {
    if (onOff == "ON") {
        state.platform.autostart->setEntry(state.platform.process->programPath());
    } else {
        state.platform.autostart->removeEntry();
    }
}

} // namespace valumat
