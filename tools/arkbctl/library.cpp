// The library's functions, forwarded to libarkblade.so.1 once load_library()
// has found them.  Each forwarder is defined with the name and signature that
// arkblade.h declares, so the compiler checks the two against each other.
#include "library.h"

#include <cstdarg>
#include <cstdio>
#include <dlfcn.h>

#include "arkblade.h"

// name, result, parameters, arguments
#define ARKBCTL_FUNCTIONS(X)                                                                                 \
    X(arkb_initialize_mp, int, (void), ())                                                                   \
    X(arkb_initialize, int, (void), ())                                                                      \
    X(arkb_get_slotid, int, (uint8_t * slot), (slot))                                                        \
    X(arkb_store_slotid, int, (uint8_t slot), (slot))                                                        \
    X(arkb_read_slotid, int, (uint8_t * slot), (slot))                                                       \
    X(arkb_read_device_type, int, (void), ())                                                                \
    X(arkb_get_device_type, int, (uint32_t * type), (type))                                                  \
    X(arkb_get_chassis_type, int, (uint32_t * type), (type))                                                 \
    X(arkb_set_sas_cap, int, (uint32_t caps), (caps))                                                        \
    X(arkb_get_sas_cap, uint32_t, (void), ())                                                                \
    X(arkb_is_cmm_ready, int, (void), ())                                                                    \
    X(arkb_fru_read, int, (void), ())                                                                        \
    X(arkb_update_cmm_ready, void, (void), ())                                                               \
    X(arkb_set_thermovrd, int, (uint8_t value), (value))                                                     \
    X(arkb_get_thermovrd, int, (uint8_t * value), (value))                                                   \
    X(arkb_mp_writeread, int, (uint8_t target, const uint8_t *wbuf, uint8_t *rbuf, int wlen, int rlen),      \
      (target, wbuf, rbuf, wlen, rlen))                                                                      \
    X(arkb_mp_write, int, (uint8_t reg, const uint8_t *buf, int len), (reg, buf, len))                       \
    X(arkb_mp_read, int, (uint8_t reg, uint8_t * buf, int len), (reg, buf, len))                             \
    X(arkb_mp_tnlblk_write, int,                                                                             \
      (uint8_t target, const uint8_t *buf, int len, int offset, int offset_width, int unit),                 \
      (target, buf, len, offset, offset_width, unit))                                                        \
    X(arkb_mp_tnlblk_read, int,                                                                              \
      (uint8_t target, uint8_t * buf, int len, int offset, int offset_width, int unit),                      \
      (target, buf, len, offset, offset_width, unit))                                                        \
    X(arkb_mp_tunneling_init, int, (int enable), (enable))                                                   \
    X(arkbp_read_slotid, int, (uint8_t * slot), (slot))                                                      \
    X(arkbp_store_slotid, int, (uint8_t slot), (slot))                                                       \
    X(arkbp_read_device_type, int, (void), ())                                                               \
    X(arkbp_platform_specific_initialize, int, (uint8_t slot), (slot))                                       \
    X(arkbp_pca9501_filepath, const char *, (void), ())                                                      \
    X(arkbp_read_mbfruid_elmsect, int, (uint8_t * buf, unsigned len, unsigned offset), (buf, len, offset))   \
    X(arkbp_write_mbfruid_elmsect, int, (const uint8_t *buf, unsigned len, unsigned offset),                 \
      (buf, len, offset))                                                                                    \
    X(get_manr_info, int, (uint8_t * out), (out))                                                            \
    X(arkb_instrec_update, int, (void), ())                                                                  \
    X(arkb_instrec_test, int, (void), ())                                                                    \
    X(arkb_netconf_initialize, int, (void), ())                                                              \
    X(arkb_netconf_get_handle, int, (netconf_handle * h), (h))                                               \
    X(arkb_netconf_check_req, int, (const netconf_handle *h, netconf_settings *s), (h, s))                   \
    X(arkb_netconf_initial_check, int, (const netconf_handle *h, netconf_settings *s), (h, s))               \
    X(arkb_netconf_publish_ip, int, (const netconf_handle *h, const netconf_settings *s), (h, s))            \
    X(arkb_netconf_publish_macaddr, int, (const netconf_handle *h, const uint8_t *mac), (h, mac))            \
    X(arkb_netconf_test, int, (void), ())                                                                    \
    X(arkb_pwr_get_budget, int, (arkb_pwr_budget * b), (b))                                                  \
    X(arkb_get_hwconfig_power, int, (void), ())                                                              \
    X(arkb_get_permitted_power, int, (void), ())                                                             \
    X(arkb_pwr_get_hwconfig_power, int, (void), ())                                                          \
    X(arkb_pwr_publish_budget, int, (const arkb_pwr_budget *b), (b))                                         \
    X(arkb_pwr_decision_ready, int, (void), ())                                                              \
    X(arkb_get_available_power, int, (void), ())                                                             \
    X(arkb_pwr_getdecision, int, (uint8_t * decision), (decision))                                           \
    X(arkb_pwr_poweron_node, int, (int node, int watts, int mode), (node, watts, mode))                      \
    X(arkb_pwr_poweron, int, (int watts, int mode), (watts, mode))                                           \
    X(arkb_pwr_poweroff, int, (void), ())                                                                    \
    X(arkb_pwr_cmm_request_power, int, (int watts), (watts))                                                 \
    X(arkb_pwr_unit_test, int, (void), ())                                                                   \
    X(arkb_set_tcontrol, int, (int32_t value), (value))                                                      \
    X(arkb_get_tcontrol, int, (int32_t * value), (value))

namespace {

struct Functions {
#define ARKBCTL_POINTER(name, result, params, args) result(*name) params = nullptr;
    ARKBCTL_FUNCTIONS(ARKBCTL_POINTER)
#undef ARKBCTL_POINTER
    void (*arkb_output)(int, const char *, ...) = nullptr;
};
Functions g_lib;
void *g_handle = nullptr;

template <class Fn> bool resolve(void *handle, const char *name, Fn &out, std::string &error)
{
    out = reinterpret_cast<Fn>(::dlsym(handle, name));
    if (out == nullptr)
        error = std::string(arkbctl::kLibraryName) + " lacks " + name;
    return out != nullptr;
}

}  // namespace

namespace arkbctl {

bool load_library(std::string &error)
{
    if (g_lib.arkb_output != nullptr)
        return true;
    // Kept loaded for the life of the process, as a linked library would be.
    void *handle = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *why = ::dlerror();
        error = why != nullptr ? why : kLibraryName;
        return false;
    }
    Functions f;
#define ARKBCTL_RESOLVE(name, result, params, args)                                                          \
    if (!resolve(handle, #name, f.name, error))                                                              \
        return false;
    ARKBCTL_FUNCTIONS(ARKBCTL_RESOLVE)
#undef ARKBCTL_RESOLVE
    if (!resolve(handle, "arkb_output", f.arkb_output, error))
        return false;
    g_lib = f;
    g_handle = handle;
    return true;
}

// The handle's lookup covers the library and the libraries it needs.
void *platform_symbol(const char *name) { return g_handle != nullptr ? ::dlsym(g_handle, name) : nullptr; }

}  // namespace arkbctl

#define ARKBCTL_FORWARD(name, result, params, args)                                                          \
    extern "C" result name params { return g_lib.name args; }
ARKBCTL_FUNCTIONS(ARKBCTL_FORWARD)
#undef ARKBCTL_FORWARD

// The library's own formatting is kept: the text is formatted here and handed
// on as one "%s" argument.
extern "C" void arkb_output(int priority, const char *format, ...)
{
    va_list ap, again;
    va_start(ap, format);
    va_copy(again, ap);
    const int n = std::vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    g_lib.arkb_output(priority, "%s", text.c_str());
}
