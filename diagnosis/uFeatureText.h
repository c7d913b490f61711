// The reader's feature word as a plain-text list.
#pragma once

#include <QString>

#include <cstdint>

// The text of the features box read as up to eight hexadecimal digits; an
// empty or invalid text gives 0.
uint32_t ParseFeatureWord(const QString &text);

// The explanation of a feature word, every line ended by CR LF.
QString ExplainFeatures(uint32_t word);
