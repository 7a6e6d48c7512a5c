// filters [--json]: the rows of the "DirectShow Filters" tab. A value that
// is not text ends the reading: the rows read before it are printed, then
// the error ends the command.
#include <algorithm>
#include <cstring>
#include <exception>
#include <iostream>

#include "app/tarnelctl/Command.h"
#include "core/directshow/FilterList.h"
#include "core/shell/uGlobal.h"

namespace tarnel::ctl {

int RunFilters(const TCommandLine& cl) {
    TFileVersionInfo info(IdentifyMachine().CodecStoreMode);
    std::vector<TFilterRow> rows;
    std::exception_ptr failure;
    try {
        FillFilterList(info, rows);
    } catch (const std::exception&) {
        failure = std::current_exception();
    }

    if (cl.Json) {
        static const char* const keys[fcCount] = {"filter", "file", "description", "version", "company"};
        JsonWriter w(std::cout);
        w.BeginObject();
        w.Key("filters").BeginArray();
        for (const TFilterRow& row : rows) {
            w.BeginObject();
            for (size_t c = 0; c < fcCount; ++c) w.Key(keys[c]).Ansi(row.Text(c));
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
        std::cout << "\n";
    } else {
        // Every column but the last padded to its widest text (one byte, one
        // character in the ANSI code page).
        size_t widths[fcCount] = {};
        for (size_t c = 0; c < fcCount; ++c) widths[c] = std::strlen(cFilterColumns[c]);
        for (const TFilterRow& row : rows)
            for (size_t c = 0; c < fcCount; ++c) widths[c] = std::max(widths[c], row.Text(c).size());
        auto print = [&](auto text) {
            std::string line;
            for (size_t c = 0; c < fcCount; ++c) {
                std::string cell = text(c);
                if (c + 1 < fcCount) cell.resize(widths[c], ' ');
                line += (c ? " | " : "") + cell;
            }
            while (!line.empty() && line.back() == ' ') line.pop_back();
            std::cout << Shown(line) << "\n";
        };
        print([](size_t c) { return std::string(cFilterColumns[c]); });
        for (const TFilterRow& row : rows) print([&](size_t c) { return row.Text(c); });
    }
    std::cout.flush();
    if (failure) std::rethrow_exception(failure);
    return 0;
}

}  // namespace tarnel::ctl
