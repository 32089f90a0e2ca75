// IsUserAnAdmin: whether the machine's user runs with an administrator's elevated token.
#include "jxplat/machine.h"
#include "jxplat/shlobj.h"

BOOL IsUserAnAdmin() {
    const jxplat::MachineUser& user = jxplat::Machine().user;
    return user.administrator && user.elevated ? TRUE : FALSE;
}
