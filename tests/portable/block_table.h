// The progress block slice expected for every step of the animation counter, written out by hand
// from the track's layout (columns 259 to 378, the block 22 columns wide, 4 columns a step).
#pragma once

namespace painttest {

struct BlockCase {
    int progress;
    int destinationX;
    int width;
    int sourceX;
};

// Steps 1..31; step 0 draws no block.
constexpr BlockCase kBlockTable[] = {
    {1, 259, 4, 18},  {2, 263, 8, 14},  {3, 267, 12, 10}, {4, 271, 16, 6},  {5, 275, 20, 2},
    {6, 279, 22, 0},  {7, 283, 22, 0},  {8, 287, 22, 0},  {9, 291, 22, 0},  {10, 295, 22, 0},
    {11, 299, 22, 0}, {12, 303, 22, 0}, {13, 307, 22, 0}, {14, 311, 22, 0}, {15, 315, 22, 0},
    {16, 319, 22, 0}, {17, 323, 22, 0}, {18, 327, 22, 0}, {19, 331, 22, 0}, {20, 335, 22, 0},
    {21, 339, 22, 0}, {22, 343, 22, 0}, {23, 347, 22, 0}, {24, 351, 22, 0}, {25, 355, 22, 0},
    {26, 359, 20, 0}, {27, 363, 16, 0}, {28, 367, 12, 0}, {29, 371, 8, 0},  {30, 375, 4, 0},
    {31, 379, 0, 0},
};

} // namespace painttest
