#include "modem/stop_token.h"

namespace modem {

void StopToken::Request() {
  uiThread_.Check();
  requested_ = true;
  // The wait in progress looks at its condition again at once.
  waker_.Wake();
}

void StopToken::AbandonPutBack() {
  abandoned_ = true;
  Request();
}

}  // namespace modem
