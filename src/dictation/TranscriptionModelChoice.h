#pragma once
// Which speech-to-text model a mode may use with its provider. Used wherever a mode's provider
// or model is changed (window, command line), so that a mode never keeps a model its provider
// does not offer.
#include "store/Enums.h"
#include "store/Expected.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace TranscriptionModelChoice {

// The models a provider offers, its default first; empty for Apple Speech, which has no model.
QStringList offered(TranscriptionProvider provider);

// The model for a mode on this provider: the one asked for when the provider offers it; with
// none asked for, the current one when the provider offers it, else the provider's default.
// A model the provider does not offer is refused with the list of those it does.
Expected<QString, QString> modelFor(TranscriptionProvider provider, const std::optional<QString>& asked,
                                    const QString& current = {});

} // namespace TranscriptionModelChoice
