#pragma once
// Prices of cloud calls in US dollars, and how a cost is shown to the user (Canadian dollars).
#include <QString>

// seconds / 60 × the model's price per minute (0.006 for a model without a price).
double transcriptionCost(const QString& model, double audioSeconds);
// The model's price per minute of audio.
double transcriptionPricePerMinute(const QString& model);
// Tokens / 1e6 × the model's input and output prices (1.00 / 5.00 for a model without a price).
double chatCost(const QString& model, qint64 inputTokens, qint64 outputTokens);
// At 1.41 CAD per USD, "fr_CA" currency format; 4 decimals between 0 and 0.01 CAD, else 2.
QString formatCost(double dollars);
