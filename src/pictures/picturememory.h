#pragma once

// Where the memory of large pictures comes from, and where it goes when
// they are freed: set once, at start, by each program for the way it uses
// pictures. Either is safe to reuse from one skin to the next, since a
// decoded picture holds only what its file says (picture.cpp writes or
// blanks every pixel), never what the memory held before.
enum class FreedPictureMemory {
    // skinpreview: pictures come and go with every skin applied and every
    // folder previewed, for as long as the program runs. Each picture
    // (from 256 KB) gets a mapping of its own, given back to the system
    // when it is freed, instead of a place in the heap, which the C library
    // would otherwise start using after the first picture is freed and
    // which then stays fragmented. Up to 2 MB freed at the top of the heap
    // stays there, and when more is given back, 1 MB stays: the lists'
    // layouts build and free a few hundred KB at every change of a big
    // folder, and giving that back would have it faulted in again at the
    // next.
    GoesBackToTheSystem,
    // skintool: one skin after another, as fast as it can. Pictures (an
    // 800 x 600 one is 1.9 MB) come from the heap, which keeps what is
    // freed for the next skin's pictures instead of giving it back and
    // having it faulted in again, page by page, a moment later. The
    // resident memory stays at what one skin needs.
    StaysForTheNextSkin,
};

void setFreedPictureMemory(FreedPictureMemory use);
