#include "ui/ControlPlaces.h"

#include "ui/CZelHelpTexts.h"
#include "ui/CZelProportionalLayout.h"

void PlaceControls(CZelProportionalLayout& layout, CZelHelpTexts& helpTexts,
                   std::span<const ControlPlace> places) {
    for (const ControlPlace& place : places) {
        layout.Add(place.control, place.fraction, place.textPoints);
        helpTexts.Register(place.control, place.title, place.description, place.toolTip);
    }
}
