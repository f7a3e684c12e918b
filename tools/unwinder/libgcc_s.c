/* Names only: the release module links against this in place of the target's libgcc_s.so.1,
 * which the system supplies when the module is loaded. */
#define NAME(symbol) void symbol(void) {}
NAME(_Unwind_DeleteException) NAME(_Unwind_Find_FDE) NAME(_Unwind_ForcedUnwind)
NAME(_Unwind_GetDataRelBase) NAME(_Unwind_GetGR) NAME(_Unwind_GetIP)
NAME(_Unwind_GetLanguageSpecificData) NAME(_Unwind_GetRegionStart) NAME(_Unwind_GetTextRelBase)
NAME(_Unwind_RaiseException) NAME(_Unwind_Resume) NAME(_Unwind_SetGR) NAME(_Unwind_SetIP)
NAME(_Unwind_Backtrace) NAME(_Unwind_FindEnclosingFunction) NAME(_Unwind_GetCFA)
NAME(_Unwind_Resume_or_Rethrow) NAME(_Unwind_GetIPInfo)
