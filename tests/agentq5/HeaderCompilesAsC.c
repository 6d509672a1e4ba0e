/* The contract is a C header: the agent's side may be written in C. */
#include "agentq5/agentq5.h"

int agentq5_header_c_check(void)
{
    struct AQ5_Params params = {AQ5_MODE_ALL, {0}};
    struct AQ5_Mailbox* first = 0;
    return NactiZmenyVeSchrankach(&first, &params);
}
