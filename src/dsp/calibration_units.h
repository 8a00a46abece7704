#pragma once
#include <cstdint>

namespace zeltrak {

// Factor of the `ConversionType` of a calibration record: acceleration in g shown as velocity
// or displacement in feet, inches, millimetres or mils per second (1.0 for none).
double UnitConversionFactor(int32_t conversionType);
// Decibels that a calibrated level in dB re 1 unit gains when shown against the unit's own
// reference (20 uPa, 1 uPa, 2.9e-9 psi, 0.775 V); 0 for the other units.
double UnitOffsetDb(int32_t refUnits);
// The unit's reference amplitude in linear units (1.0 where the reference is 1 unit).
double UnitReference(int32_t refUnits);

}  // namespace zeltrak
