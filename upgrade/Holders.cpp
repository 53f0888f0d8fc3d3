#include "upgrade/Holders.h"

namespace {
// `value` in decimal digits. (std::to_wstring would bring the run-time's whole formatter.)
std::wstring Decimal(unsigned long value) {
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}
} // namespace

std::vector<Holder> HoldersToClose(const std::vector<Holder>& holders,
                                   unsigned long setupProcessId) {
    std::vector<Holder> toClose;
    for (const Holder& holder : holders)
        if (!holder.critical && holder.processId != setupProcessId)
            toClose.push_back(holder);
    return toClose;
}

std::wstring HolderNames(const std::vector<Holder>& holders, const wchar_t* separator) {
    std::wstring names;
    for (const Holder& holder : holders) {
        if (!names.empty())
            names += separator;
        names += std::wstring(holder.name) + L" (process " + Decimal(holder.processId) +
                 L", session " + Decimal(holder.session) + L")";
    }
    return names;
}
