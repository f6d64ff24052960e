#pragma once

// Who publishes Corvanta, as Windows shows it: the executable's properties (the resource script), and the
// installer's Manufacturer and Apps' Publisher (scripts/package reads both lines from here).

#define CORVANTA_PUBLISHER "Corvanta Instruments Ltd."
#define CORVANTA_COPYRIGHT "Copyright (c) 2026 Corvanta Instruments Ltd."
