// Search pages come from the network: link extraction on any page keeps the result lists
// index-aligned and never faults. The seeds are the test server's pages, whose result links
// carry a placeholder for the real link prefix.
#include "freedb/Search.h"
#include "shell/core/Shared.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString page = tunora::DecodeText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)))
                             .replace(QLatin1String("{PREFIX}"), tunora::SearchLinkPrefix());
    tunora::SearchResults r;
    tunora::ExtractSearchResults(page, r);
    if (r.List2.size() != r.List3.size() || r.List2.size() != r.categ_lst.size() || r.List2.size() > r.List1.size())
        __builtin_trap();
    tunora::SearchResults g;
    tunora::ExtractGnudbResults(page, g);
    if (g.List2.size() != g.List3.size() || g.List2.size() != g.categ_lst.size())
        __builtin_trap();
    return 0;
}
