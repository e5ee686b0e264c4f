#pragma once
// Check marks and gray states of the menus, brought in line with the settings and the window's
// flags, and the encoder line of status part 6.

#include <QByteArray>
#include <QString>
#include <optional>

namespace vn {

struct EncoderAvailability;
struct MenuSet;
struct Settings;

// Mark characters of the encoder line.
inline constexpr char16_t SelectedEncoderMark = 0xFF0A; // full-width asterisk
inline constexpr char16_t OtherEncoderMark = 0x3000;    // ideographic space

// Every usable encoder with its version, the selected one marked; empty when none is usable.
QString encoderLine(const EncoderAvailability& available, int encoderIndex);
// The host part of a server address ("scheme://host/path" gives "host"); nullopt when the address
// lacks "//" or a "/" after it.
std::optional<QString> cddbServerHost(const QByteArray& server);

void refreshEncoderChecks(const MenuSet& menus, int encoderIndex);
void refreshCharsetChecks(const MenuSet& menus, int cueCodePage);
void refreshLevelChecks(const MenuSet& menus, int level);
void refreshSaveExistingCheck(const MenuSet& menus, int saveExisting);
void refreshPlayApiChecks(const MenuSet& menus, int playApi);
// 1065 for Cddb_Server1, 1066 for Cddb_Server2. An empty server grays the item; an address without
// a host leaves the item as it was.
void refreshCddbServerItem(const MenuSet& menus, const QByteArray& server, int itemId);
void refreshAutoCddbCheck(const MenuSet& menus, int autoCddb);
// The CD image items follow the mode; the query also needs a server.
void refreshCdImageItems(const MenuSet& menus, bool folderBMode, const QByteArray& server1);
// The gray states the menus start with.
void applyInitialMenuStates(const MenuSet& menus, const EncoderAvailability& available, const Settings& settings,
                            bool folderBMode);

} // namespace vn
