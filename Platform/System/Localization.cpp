#include "Platform/System/Localization.hpp"

#include <libintl.h>

#include <atomic>
#include <clocale>
#include <cstring>
#include <mutex>

#include <nlohmann/json.hpp>

#include "Platform/System/Services.hpp"

namespace platform {
namespace {

struct Catalog {
    std::string domain;  // empty: the bundle has no catalog
};

// The catalog is bound once per bundle; gettext itself caches the loaded file.
Catalog catalogOf(const Bundle& bundle) {
    const auto* domain = bundle.objectForInfoDictionaryKey("LocalizationDomain");
    if (!domain || !domain->is_string()) return {};
    Catalog catalog{domain->get<std::string>()};
    std::filesystem::path directory = bundle.directory / "../share/locale";
    if (const auto* relative = bundle.objectForInfoDictionaryKey("LocalizationDirectory"); relative && relative->is_string())
        directory = bundle.directory / relative->get<std::string>();
    bindtextdomain(catalog.domain.c_str(), directory.lexically_normal().c_str());
    bind_textdomain_codeset(catalog.domain.c_str(), "UTF-8");
    return catalog;
}

ProcessValue<Catalog> catalog;

std::atomic<bool> localeDeferred{false};
std::once_flag deferredLocale;

}  // namespace

std::string localizedString(const char* key, const char* defaultValue) {
    if (localeDeferred.load()) std::call_once(deferredLocale, setUpLocale);
    auto bound = catalog.get([] { return catalogOf(services().mainBundle()); });
    if (bound.domain.empty()) return defaultValue;
    const char* translated = dgettext(bound.domain.c_str(), key);
    // gettext hands back the key itself when it has no translation.
    if (translated == key || std::strcmp(translated, key) == 0) return defaultValue;
    return translated;
}

void setUpLocale() {
    // Only the categories messages need (the character set and the language): setting them all would
    // read a dozen locale files at every start, and numbers must stay in "C" anyway.
    for (int category : {LC_CTYPE, LC_MESSAGES})
        if (!std::setlocale(category, "")) std::setlocale(category, "C.UTF-8");
}

void setUpLocaleOnFirstUse() { localeDeferred.store(true); }

}  // namespace platform
