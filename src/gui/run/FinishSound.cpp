#include "gui/run/FinishSound.h"

#include "desktop/Sound.h"

#include <QFile>

// The resources of a static library are linked only when asked for by name.
static void LoadSoundResources()
{
    Q_INIT_RESOURCE(sounds);
}

namespace tandrel::gui {

namespace {

WavePlayer& Player()
{
    static WavePlayer player;
    return player;
}

} // namespace

void PlayFinishSound(const AppState& app)
{
    if (!app.settings.options.PlaySound || app.ending)
        return;
    LoadSoundResources();
    QFile file(QStringLiteral(":/sounds/finish.wav"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray wave = file.readAll();
    const auto* data = reinterpret_cast<const unsigned char*>(wave.constData());
    const auto size = static_cast<std::size_t>(wave.size());
    if (Player())
        Player()(data, size);
    else
        desktop::PlayWaveFromMemory(data, size);
}

void SetWavePlayerForTesting(WavePlayer player)
{
    Player() = std::move(player);
}

} // namespace tandrel::gui
