#include "shell/ViewSession.h"

namespace pagimo::shell {

void TViewSession::View() {}

void TViewSession::View(const QString&) {}

void TViewSession::CloseAll() {}

} // namespace pagimo::shell
