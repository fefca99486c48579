#include "FinishSound.h"

#include "platform/Sound.h"

#include <QFile>

// The resources of a static library are linked only when asked for by name.
static void LoadSoundResources()
{
    Q_INIT_RESOURCE(sounds);
}

namespace tandrel::gui {

void PlayFinishSound(const AppState& app)
{
    if (!app.settings.options.PlaySound)
        return;
    LoadSoundResources();
    QFile file(QStringLiteral(":/sounds/finish.wav"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray wave = file.readAll();
    platform::PlayWaveFromMemory(reinterpret_cast<const unsigned char*>(wave.constData()),
                                 static_cast<std::size_t>(wave.size()));
}

} // namespace tandrel::gui
