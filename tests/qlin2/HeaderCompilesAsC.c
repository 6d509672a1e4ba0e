/* Client applications may be written in C: the library's header must stay plain C99. */
#include "qlin2/qlin2.h"

int qlin2HeaderCompilesAsC(void)
{
    char name[108];
    TStates command = {-1, QLIN_CMD_DIAL, "123"};
    return (int)QLIN2_EndpointName(name, sizeof name, 4711) + command.Line;
}
