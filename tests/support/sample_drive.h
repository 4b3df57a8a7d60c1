// The drive of the sample model (samples/flash.INI, MODEL00 "DVD-616"), the
// one drive most tests meet: its identification as a flasher's record holds
// it, its vendor and product fields as it answers INQUIRY, and the same drive
// as lines of a population file (below its "drive" line, before its
// revision). sim/populations/sample-drive.txt is this drive for scripts.
#pragma once

inline constexpr char kFamilyVendor[] = "ACME    ";
inline constexpr char kFamilyProduct[] = "DVD-ROM DVD-616 ";
inline constexpr char kFamilyInquiry[] = "ACME    DVD-ROM DVD-616 ";
inline constexpr char kFamilyRevisionAfterFlash[] = "AB15";
inline constexpr char kFamilyDrive[] =
    "  vendor \"ACME    \"\n  product \"DVD-ROM DVD-616 \"\n  revision-after-flash AB15\n";
