// This program carries the Simplified Chinese set.
#include "app/texts/texts.h"

const Texts& builtTexts() { return kTextsSc; }
