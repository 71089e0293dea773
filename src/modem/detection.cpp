// Placeholder until detection lands; keeps the tool linkable.
#include "modem/detection.h"

namespace modem {

void LoadIdentificationList(MainView&) {}
void DetectModem(MainView&) {}

}  // namespace modem
