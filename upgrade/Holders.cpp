#include "upgrade/Holders.h"

#include "upgrade/PathRules.h"

namespace {
// `value` in decimal digits, as wide text.
std::wstring Decimal(unsigned long value) {
    const std::string digits = DecimalText(value);
    return std::wstring(digits.begin(), digits.end());
}
} // namespace

std::vector<Holder> HoldersToClose(const std::vector<Holder>& holders, unsigned long setupProcessId,
                                   unsigned long setupSession) {
    std::vector<Holder> toClose;
    for (const Holder& holder : holders)
        if (!holder.critical && holder.processId != setupProcessId &&
            holder.session == setupSession)
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

std::wstring NamesForPerson(const std::vector<Holder>& holders, const wchar_t* separator,
                            const std::wstring& more) {
    std::wstring names;
    for (size_t i = 0; i < holders.size() && i < kNamesShown; ++i) {
        std::wstring name = holders[i].name;
        if (name.size() > kNameShown)
            name = name.substr(0, kNameShown - 1) + L"\u2026";
        names += (i ? separator : L"") + name;
    }
    if (holders.size() > kNamesShown) {
        std::wstring rest = more;
        const size_t at = rest.find(L"%s");
        if (at != std::wstring::npos)
            rest.replace(at, 2, Decimal(static_cast<unsigned long>(holders.size() - kNamesShown)));
        names += separator + rest;
    }
    return names;
}

const wchar_t* WhatBecameOf(const Holder& asked, const std::vector<Holder>& after) {
    for (const Holder& now : after)
        if (now.processId == asked.processId)
            return !now.stopped    ? L"not closed"
                   : now.restarted ? L"closed, and started again"
                                   : L"closed, not started again (Windows starts again only "
                                     L"programs registered for it)";
    return L"no longer listed by Restart Manager";
}
