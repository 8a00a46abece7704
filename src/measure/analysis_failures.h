#pragma once
#include "dsp/smoothing.h"
#include "dsp/spectral_data.h"

namespace zeltrak {

class Host;

// The analysis objects only say why they failed; these tell the user, with the texts and
// captions the user has always seen. Ok (and a size the caller chose badly) shows nothing.
void ShowWindowFailure(Host& host, WindowStatus status);
void ShowSpectralFailure(Host& host, SpectralStatus status);

}  // namespace zeltrak
