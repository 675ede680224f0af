#pragma once

#include <QString>

namespace kelvo {

// Looks a user-visible text up in the default localisation table, with the
// English text as the key and an empty default: an untranslated key comes
// back as itself.
QString localized(const char *englishText);

} // namespace kelvo
