#include "image/result_codes.h"

ResultCode g_resultCode = kResultNoError;

const char* const ResultMessages[kResultCodeCount] = {
    "No error detected...",
    "Time out 7 sec... (BSY flag set)",
    "Command is failed...",
    "Invalid Parameter used...",
    "Can NOT open HEX file...",
    "CD-ROM is still BUSY, Please H/W Reset.",
    "Device do NOT reponse...",
    "Can't find any device (No reponse for Soft Reset)",
    "Time Out...",
    "Error found in writing Flash...",
    "Data in CD-ROM has incorect check sum...",
    "CD-ROM do NOT response any Protocol...",
    "Out of Memory...",
    "Invalide Parameter used! To get help, use '/?' option.",
    "Download canceled by user...",
    "HEX file is damaged!",
    "HEX file is damaged! (Address overflow)",
    "1. Close other programs before update.\n"
    "\n"
    " 2. Set drive as PIO mode if possible, \n"
    "    otherwise system may occur some problem after update.\n"
    "\n"
    " 3. Please reboot system after update. ",
};
