// This program carries the English set.
#include "texts/texts.h"

const Texts& builtTexts() { return kTextsEn; }
