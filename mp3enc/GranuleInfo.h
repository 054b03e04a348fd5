#pragma once

namespace sonotrap::mp3enc {

// Side information of one granule and channel, with the rate control's working values.
// Scalefactors are never sent: scalefacCompress, preflag, scalefacScale and part2Length are 0.
struct GranuleInfo {
    int part23Length = 0;  // bits of main data, stuffing included
    int bigValues = 0;     // pairs in the big-values region
    int count1 = 0;        // quadruples in the count1 region
    int globalGain = 0;
    int scalefacCompress = 0;
    int tableSelect[3] = {0, 0, 0};
    int region0Count = 0;
    int region1Count = 0;
    int preflag = 0;
    int scalefacScale = 0;
    int count1TableSelect = 0;  // 0 = table A, 1 = table B
    int region1Start = 0;       // line indices from the subdivision
    int region2Start = 0;
    int bigValuesEnd = 0;
    int part2Length = 0;
    double quantiserStep = 0.0;
};

// The frame's side information: main_data_begin, private bits and scfsi are always 0.
struct SideInfo {
    GranuleInfo granules[2][2];  // [granule][channel]
};

// Quantised lines of a frame: [granule][channel][line].
using QuantisedFrame = int[2][2][576];

}  // namespace sonotrap::mp3enc
