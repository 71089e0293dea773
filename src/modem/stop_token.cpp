#include "modem/stop_token.h"

#include "platform/message_pump.h"

namespace modem {

void StopToken::Request() {
  uiThread_.Check();
  requested_ = true;
  // The wait in progress looks at its condition again at once.
  platform::WakeUiThread();
}

void StopToken::AbandonPutBack() {
  abandoned_ = true;
  Request();
}

}  // namespace modem
