// Stand-in until ship lands: the ship's routines the screens need.
#include "game/core/main_form.h"
#include "game/play/play.h"

void PlaceShipAttachments() {}
