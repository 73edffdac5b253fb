#pragma once
// The numbers of the PLC link's jobs (TTransData::JobNo). A job's owner registers its
// request and reply steps under its number; the link treats some numbers specially
// (the hand-held programmer answers as a slave, the frame's job runs the link-speed
// search). The numbers are fixed: 0 is no job.
enum TLinkJobNo : int {
    kJobNone = 0,
    kJobWriteProgram = 4,     // write the program into the PLC
    kJobReadProgram = 5,      // read the program from the PLC
    kJobHandheld = 6,         // hand-held programmer link: the PC answers as a slave
    kJobPassword = 8,         // PLC password
    kJobRegisterView = 9,     // register view transfer
    kJobVerifyProgram = 10,   // verify the program against the PLC
    kJobWriteFileRegs = 11,   // write file registers
    kJobReadFileRegs = 12,    // read file registers
    kJobMemoryCard = 14,      // memory card
    kJobFrame = 15,           // the frame's link job (link-speed change and the others of the frame)
};
