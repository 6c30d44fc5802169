// This program carries the Simplified Chinese set.
#include "texts/texts.h"

const Texts& builtTexts() { return kTextsSc; }
