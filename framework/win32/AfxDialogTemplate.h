#pragma once

#include <vector>

#include "AfxResources.h"

// A dialog template of the program's resources as the system's in-memory
// extended template (DLGTEMPLATEEX and its items), ready for
// DialogBoxIndirectParam. Texts are taken in the ANSI code page. An icon
// control's "#<id>" becomes an empty text: the program has no icon
// resources of the system's kind, so the dialog sets the icon itself.
std::vector<WORD> AfxBuildDialogTemplate(const AfxDialogTemplate& dialogTemplate);

// The icon id an icon control's text names ("#128"), or 0.
UINT AfxTemplateIconId(const AfxDialogControl& control);
