// The one place that decides which transport path a run uses.
#pragma once

#include "device/transport.h"

// The path the next module set-up will use: an installed path if there is
// one, else the operating system's own path.
TransportPath& ChooseTransportPath();

// Makes `path` win the next choice (null returns to the OS path). Meant for
// tests and demos that drive simulated hardware; the caller keeps it alive.
void InstallTransportPath(TransportPath* path);
