#pragma once

#include <functional>
#include <memory>

class QObject;

namespace selfupdate {

class SelfUpdateController;
struct UpdateState;

// Binds the controller to a Qt object: every publication runs as a queued call on context's
// thread, in publication order, and is dropped once context is destroyed. onState (when set)
// becomes the state callback; the quit callback is onQuit, or QCoreApplication::quit() when an
// application object exists. A null controller is ignored.
void bindQtController(const std::shared_ptr<SelfUpdateController>& controller, QObject* context,
                      std::function<void(const UpdateState&)> onState,
                      std::function<void()> onQuit);

} // namespace selfupdate
