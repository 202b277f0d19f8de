// Floating-point property values of component streams: the filer reads and
// writes integers, text and blocks; sprites also store doubles (as the
// 10-byte extended type) and singles.
#pragma once

#include <string>

class TReader;
class TWriter;

// Reads an extended, single or integer value as a double; any other type
// raises EReadError "Invalid property value".
double ReadFloatValue(TReader& Reader);
void WriteFloatProperty(TWriter& Writer, const std::string& Name, double Value);
void WriteSingleProperty(TWriter& Writer, const std::string& Name, float Value);

// The 80-bit extended encoding, little-endian.
void DoubleToExtended(double Value, unsigned char Out[10]);
double ExtendedToDouble(const unsigned char In[10]);
