#pragma once
// The notifier of the editor: a post from any thread queues the handler onto the Qt event
// loop of the thread that opened the channel (the user-interface thread). Destroying the
// channel drops what it had queued.

#include "player/notifier.h"

namespace klangor {

class LQtNotifier final : public LNotifier {
 public:
  std::unique_ptr<LNotifyChannel> OpenChannel(std::function<void()> handler) override;
};

}  // namespace klangor
