#include "app/AutoLaunchAgent.h"

#include "common/SystemLog.h"
#include "settings/AtomicFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <vector>

namespace kelvo::app {
namespace {

constexpr const char *kTemplateSubpath = "kelvo-viewer/systemd/";

QByteArray text(const QString &string)
{
    return string.toUtf8();
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// One line of the unit as it stands in the file, its terminator kept so
// that every line but the rewritten one goes back byte for byte.
struct UnitLine {
    QByteArray content;
    QByteArray terminator;
};

std::vector<UnitLine> splitLines(const QByteArray &bytes)
{
    std::vector<UnitLine> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) {
            lines.push_back({bytes.mid(start), {}});
            break;
        }
        qsizetype contentEnd = end;
        if (contentEnd > start && bytes[contentEnd - 1] == '\r')
            --contentEnd;
        lines.push_back({bytes.mid(start, contentEnd - start), bytes.mid(contentEnd, end + 1 - contentEnd)});
        start = end + 1;
    }
    return lines;
}

// The extent of the first word of an ExecStart= value (after its prefix
// characters), read with the service manager's quoting rules. Answers false
// when the word is not closed or escaped properly.
bool firstWord(const QByteArray &value, qsizetype from, qsizetype *wordEnd)
{
    qsizetype i = from;
    if (i < value.size() && (value[i] == '"' || value[i] == '\'')) {
        const char quote = value[i++];
        for (; i < value.size(); ++i) {
            if (value[i] == '\\' && quote == '"') {
                if (++i >= value.size())
                    return false;
            } else if (value[i] == quote) {
                ++i;
                // A closing quote ends the word.
                if (i < value.size() && !isBlank(value[i]))
                    return false;
                *wordEnd = i;
                return true;
            }
        }
        return false;
    }
    for (; i < value.size() && !isBlank(value[i]); ++i) {
        if (value[i] == '\\' && ++i >= value.size())
            return false;
    }
    *wordEnd = i;
    return i > from;
}

// The executable's path as one ExecStart= word: specifiers and variables
// escaped, quoted when it holds blanks, quotes or backslashes.
std::optional<QByteArray> execWord(const QString &path, QString *why)
{
    const QByteArray bytes = path.toUtf8();
    for (char c : bytes) {
        if (c == '\n' || c == '\r' || c == '\0') {
            *why = QStringLiteral("the path %1 holds a line break or a null character").arg(path);
            return std::nullopt;
        }
    }
    if (!path.startsWith(QLatin1Char('/'))) {
        *why = QStringLiteral("the path %1 is not absolute").arg(path);
        return std::nullopt;
    }
    QByteArray escaped;
    bool quote = false;
    for (char c : bytes) {
        if (c == '%')
            escaped += "%%";
        else if (c == '$')
            escaped += "$$";
        else if (c == '\\' || c == '"') {
            escaped += '\\';
            escaped += c;
            quote = true;
        } else {
            quote = quote || isBlank(c) || c == '\'' || c == ';';
            escaped += c;
        }
    }
    return quote ? '"' + escaped + '"' : escaped;
}

} // namespace

AutoLaunchAgent::AutoLaunchAgent(Paths paths, std::shared_ptr<UserServiceManager> manager)
    : m_paths(std::move(paths)), m_manager(std::move(manager))
{}

QString AutoLaunchAgent::defaultUnitFolder()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/systemd/user");
}

QString AutoLaunchAgent::findTemplate(const QString &executableDir)
{
    const QString name = QString::fromLatin1(kTemplateSubpath) + QString::fromLatin1(kUnitName);
    QStringList candidates{QDir::cleanPath(executableDir + QStringLiteral("/../share/") + name)};
#ifdef KELVO_INSTALL_DATADIR
    candidates << QStringLiteral(KELVO_INSTALL_DATADIR "/") + name;
#endif
#ifdef KELVO_SOURCE_SHARE_DIR
    candidates << QStringLiteral(KELVO_SOURCE_SHARE_DIR "/systemd/") + QString::fromLatin1(kUnitName);
#endif
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}

QString AutoLaunchAgent::unitFilePath() const
{
    return m_paths.unitFolder + QLatin1Char('/') + QString::fromLatin1(kUnitName);
}

bool AutoLaunchAgent::serviceManagerRuns() const
{
    QString why;
    if (m_manager && m_manager->isRunning(&why))
        return true;
    systemLog("No systemd user instance (%s): the viewer will not be started when the camera is plugged in.\n",
              text(why.isEmpty() ? QStringLiteral("none configured") : why).constData());
    return false;
}

void AutoLaunchAgent::installAutoLaunchPropertyList(bool wanted)
{
    if (!serviceManagerRuns())
        return;
    const QString unit = unitFilePath();
    if (QFileInfo::exists(unit) || QFileInfo(unit).isSymLink()) {
        // An ordinary start-up leaves the registration as the user set it.
        updatePropertyList();
        return;
    }
    // No unit folder: the user's service manager is not set up for units of
    // their own, and the viewer does not set it up for them.
    if (!QFileInfo(m_paths.unitFolder).isDir())
        return;
    QFile source(m_paths.templateFile);
    if (m_paths.templateFile.isEmpty() || !source.open(QIODevice::ReadOnly)) {
        systemLog("Could not read the auto-launch template %s.\n", text(m_paths.templateFile).constData());
        return;
    }
    QString error;
    if (!settings::AtomicFileWriter().write(unit, source.readAll(), &error)) {
        systemLog("Could not install %s: %s\n", text(unit).constData(), text(error).constData());
        return;
    }
    unloadPropertyList();
    updatePropertyList();
    loadPropertyListIfNeeded(wanted);
}

bool AutoLaunchAgent::updatePropertyList()
{
    const QString unit = unitFilePath();
    QFile file(unit);
    if (!file.open(QIODevice::ReadOnly)) {
        systemLog("Could not read property list file.\n");
        return false;
    }
    const QByteArray before = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        systemLog("Could not read property list file.\n");
        return false;
    }
    file.close();
    const std::optional<QByteArray> after = rewriteExecStart(before, m_paths.executable);
    if (!after)
        return false;
    if (*after == before)
        return true;
    QString error;
    if (!settings::AtomicFileWriter().write(unit, *after, &error)) {
        systemLog("Could not write property list file %s: %s\n", text(unit).constData(), text(error).constData());
        return false;
    }
    return true;
}

std::optional<QByteArray> AutoLaunchAgent::rewriteExecStart(const QByteArray &unit, const QString &executable)
{
    auto decodeFailure = [](const QString &why) {
        systemLog("Could not decode property list: %s\n", text(why).constData());
        return std::nullopt;
    };
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)QString(utf8(unit));
    if (utf8.hasError())
        return decodeFailure(QStringLiteral("the file is not UTF-8 text"));

    std::vector<UnitLine> lines = splitLines(unit);
    QByteArray section;
    bool hasService = false;
    std::optional<size_t> execLine;
    bool continued = false;
    for (size_t n = 0; n < lines.size(); ++n) {
        const QByteArray line = lines[n].content.trimmed();
        const int number = static_cast<int>(n) + 1;
        // A line ending in a backslash goes on in the next one.
        const bool wasContinued = continued;
        const bool comment = line.startsWith('#') || line.startsWith(';');
        continued = !comment && line.endsWith('\\');
        if (wasContinued || comment || line.isEmpty())
            continue;
        if (line.startsWith('[')) {
            if (!line.endsWith(']') || line.size() < 3)
                return decodeFailure(QStringLiteral("line %1 is not a complete section header").arg(number));
            section = line.mid(1, line.size() - 2);
            hasService = hasService || section == "Service";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            return decodeFailure(QStringLiteral("line %1 is neither a section header nor an assignment").arg(number));
        if (section.isEmpty())
            return decodeFailure(QStringLiteral("line %1 is an assignment outside of any section").arg(number));
        if (section == "Service" && line.left(equals).trimmed() == "ExecStart" && !execLine)
            execLine = n;
    }
    if (!hasService) {
        systemLog("Property list root is not a dictionary.\n");
        return std::nullopt;
    }
    if (!execLine) {
        systemLog("Program arguments is not an array.\n");
        return std::nullopt;
    }

    QByteArray &content = lines[*execLine].content;
    const qsizetype valueStart = content.indexOf('=') + 1;
    qsizetype word = valueStart;
    while (word < content.size() && isBlank(content[word]))
        ++word;
    // The prefixes that change how the program runs stay in front of it.
    while (word < content.size() && QByteArrayView("-@:+!").contains(content[word]))
        ++word;
    if (word >= content.size()) {
        systemLog("App path not found.\n");
        return std::nullopt;
    }
    qsizetype wordEnd = 0;
    if (!firstWord(content, word, &wordEnd)) {
        systemLog("App path not a string.\n");
        return std::nullopt;
    }
    QString why;
    const std::optional<QByteArray> replacement = execWord(executable, &why);
    if (!replacement) {
        systemLog("Could not encode property list: %s\n", text(why).constData());
        return std::nullopt;
    }
    content = content.left(word) + *replacement + content.mid(wordEnd);

    QByteArray out;
    out.reserve(unit.size() + replacement->size());
    for (const UnitLine &line : lines)
        out += line.content + line.terminator;
    return out;
}

void AutoLaunchAgent::loadPropertyListIfNeeded(bool wanted)
{
    if (!serviceManagerRuns())
        return;
    if (!wanted) {
        systemLog("Not loading property list.\n");
        return;
    }
    QString error;
    const std::optional<int> status = m_manager->run(
        {QStringLiteral("--user"), QStringLiteral("enable"), QString::fromLatin1(kUnitName)}, false, &error);
    if (!status)
        systemLog("Could not start systemctl: %s\n", text(error).constData());
    else if (*status != 0)
        systemLog("Could not enable the auto-launch user unit: systemctl exited with exit status %d\n", *status);
}

void AutoLaunchAgent::unloadPropertyList()
{
    if (!serviceManagerRuns())
        return;
    QString error;
    // A unit that was never enabled makes systemctl complain; that is not
    // worth showing on the terminal.
    const std::optional<int> status = m_manager->run(
        {QStringLiteral("--user"), QStringLiteral("disable"), QString::fromLatin1(kUnitName)}, true, &error);
    if (!status)
        systemLog("Could not start systemctl: %s\n", text(error).constData());
    else if (*status != 0)
        systemLog("Could not disable the auto-launch user unit: systemctl exited with exit status %d\n", *status);
}

} // namespace kelvo::app
