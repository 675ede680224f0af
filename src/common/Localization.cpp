#include "common/Localization.h"

#include <QCoreApplication>

namespace kelvo {

QString localized(const char *englishText)
{
    return QCoreApplication::translate("Localizable", englishText);
}

} // namespace kelvo
