#include "play/file_player.h"
#include "play/image_player.h"

namespace vn {

PlayerFactory qtPlayers()
{
    PlayerFactory factory;
    factory.file = [](const QString& path, PlayerEventFn events) -> std::unique_ptr<Player> {
        return std::make_unique<FilePlayer>(path, std::move(events));
    };
    factory.image = [](const CueSheet& cue, PlayerEventFn events) -> std::unique_ptr<Player> {
        return std::make_unique<ImagePlayer>(cue, std::move(events));
    };
    return factory;
}

} // namespace vn
