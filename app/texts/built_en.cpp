// This program carries the English set.
#include "app/texts/texts.h"

const Texts& builtTexts() { return kTextsEn; }
