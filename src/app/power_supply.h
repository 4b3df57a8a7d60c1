// What the machine draws its power from, as the operating system reports it.
#pragma once

// True when it runs on its battery: no mains power, and a battery that
// discharges. False when that is not known.
bool RunsOnBattery();
