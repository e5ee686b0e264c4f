#pragma once
// Which commands this build can carry out. A command whose work is not part of this build stays
// visible but answers with a message instead of doing nothing.

#include <QString>

class QWidget;

namespace vn {

bool commandAvailable(int id);
// What the user calls the command, for messages.
QString commandTitle(int id);
// "… is not available in this build."
QString unavailableMessage(int id);
// The same for work that one mode of a command lacks ("Encoding B" beside Replace Tags).
QString unavailableMessage(const QString& title);

} // namespace vn
