#include "dsp/calibration_units.h"

namespace zeltrak {

double UnitConversionFactor(int32_t conversionType) {
    constexpr double kFeetPerSecondSquaredPerG = 32.174;
    switch (conversionType) {
        case 1:
        case 4: return kFeetPerSecondSquaredPerG;
        case 2:
        case 5: return 12.0 * kFeetPerSecondSquaredPerG;
        case 3:
        case 6: return 304.8 * kFeetPerSecondSquaredPerG;
        case 7:
        case 8: return 1000.0 * 12.0 * kFeetPerSecondSquaredPerG;
        default: return 1.0;
    }
}

double UnitOffsetDb(int32_t refUnits) {
    switch (refUnits) {
        case 2:
        case 8: return 93.9794;
        case 10:
        case 11: return 120.0;
        case 9: return 170.752;
        case 7: return 2.213966;
        default: return 0.0;
    }
}

double UnitReference(int32_t refUnits) {
    switch (refUnits) {
        case 2:
        case 8: return 20e-6;
        case 10:
        case 11: return 1e-6;
        case 9: return 2.9e-9;
        case 7: return 0.775;
        default: return 1.0;
    }
}

}  // namespace zeltrak
