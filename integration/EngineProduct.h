// Hands the update engine what it needs of the product before a Reset: the
// install folder and the program version of the product settings. The
// engine does not read the settings itself, so that it sits below them.
#pragma once

class CUpdateEngine;

// SetProductValues from g_productSettings, then Reset.
void ResetEngineForProduct(CUpdateEngine& engine);
