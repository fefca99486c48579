#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef Q_OS_WIN
#include <QDir>
#include <QMap>

namespace {

// The offscreen platform of Windows draws with the font files of one folder
// (QT_QPA_FONTDIR), not with the system's fonts, and without any it draws
// no text at all. It is given the system's font folder, or, under Wine,
// whose font folder holds no files (Wine takes the host's fonts), the host's
// DejaVu fonts, which the Linux runs use too.
void GiveOffscreenFonts()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR"))
        return;
    const QString system = QDir::fromNativeSeparators(qEnvironmentVariable("WINDIR")) + QStringLiteral("/Fonts");
    for (const QString& folder : {system, QStringLiteral("Z:/usr/share/fonts/truetype/dejavu")}) {
        if (!QDir(folder).entryList({QStringLiteral("*.ttf"), QStringLiteral("*.otf")}, QDir::Files).isEmpty()) {
            qputenv("QT_QPA_FONTDIR", QDir::toNativeSeparators(folder).toUtf8());
            return;
        }
    }
}

// On Windows the per-user values are in the registry, which has no test
// place of its own: the program's key is emptied for the run and given back
// as it was at its end.
class RegistryKeyAside {
public:
    RegistryKeyAside()
    {
        QSettings key(QStringLiteral("Orvessa Software"), QStringLiteral("Tandrel"));
        for (const QString& name : key.allKeys())
            m_values.insert(name, key.value(name));
        key.clear();
    }
    ~RegistryKeyAside()
    {
        QSettings key(QStringLiteral("Orvessa Software"), QStringLiteral("Tandrel"));
        key.clear();
        for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
            key.setValue(it.key(), it.value());
    }

private:
    QMap<QString, QVariant> m_values;
};

} // namespace
#endif

// The GUI tests drive the real windows headless. Per-user settings and data
// folders are redirected to throw-away places so that no test touches the
// user's own values.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
#ifdef Q_OS_WIN
    GiveOffscreenFonts();
#endif
    QApplication app(argc, argv);

    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
#ifdef Q_OS_WIN
    const RegistryKeyAside registryAside;
#endif

    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
