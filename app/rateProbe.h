// The sample-rate and DSD sections of a driver's report.
#pragma once

// Which of eight common PCM rates the driver accepts.
void probePcmRates();

// Whether the driver switches to native DSD, and what it offers there; a
// driver that switched is switched back to PCM.
void probeDsd();
