#pragma once

#include <QString>

namespace tandrel {

// Names the calling thread after a queue label, as tools such as top and gdb show it: without the
// "app.tandrel." prefix and cut to the 15 bytes the kernel keeps ("socket.accept").
void nameCurrentThread(const QString& label);

}  // namespace tandrel
