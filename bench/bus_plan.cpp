// The operations of the bus traffic table and their documented access
// plans.  Each plan lists, in order, the outside calls that the algorithm of
// the operation makes and that the simulator counts on a bus; memstore is
// counted as a bus of its own, although on the SP it is local memory.
#include "bus_plan.h"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "arkblade.h"
#include "core/chassis.h"
#include "core/fru.h"

namespace bench {
namespace {

// Transfer units and offsets; the time of each transaction comes from the
// simulator's bus model (core/bus_time.h).
constexpr uint32_t kEepromReadUnit = 64, kEepromWriteUnit = 32, kEepromPage = 64;
constexpr uint32_t kMailboxUnit = 8;
constexpr uint32_t kChassisOffset = 0x1800, kChassisSize = 0x800, kChassisUnit = 64;

arksim::Transaction mailbox_read(uint32_t n) { return arksim::tunnel_read(8, n); }
arksim::Transaction mailbox_write(uint32_t n) { return arksim::tunnel_write(8, n); }
arksim::Transaction chassis_data_read(uint32_t n) { return arksim::tunnel_read(16, n); }
constexpr uint32_t kRingAt = 3184, kRingRead = 1114, kRingImage = 1119;
constexpr uint32_t kSegmentAt = 3195, kChecksummed = 1103, kTrailerWindow = 4288, kWindow = 32;

}  // namespace

Plan &Plan::add(const arksim::Transaction &t)
{
    const int b = static_cast<int>(t.bus);
    ++traffic.tx[b];
    traffic.bytes[b] += t.data;
    traffic.bit_times += arksim::bit_times(t);
    traffic.write_cycles += arksim::write_cycles(t);
    return *this;
}

// One call moving `len` bytes in transactions of at most `unit` bytes, also
// split at `page` boundaries when `page` is not 0.
Plan &Plan::transfer(arksim::Transaction (*shape)(uint32_t bytes), uint32_t len, uint32_t offset,
                     uint32_t unit, uint32_t page)
{
    for (uint32_t done = 0; done < len;) {
        uint32_t chunk = std::min(unit, len - done);
        if (page != 0)
            chunk = std::min(chunk, page - (offset + done) % page);
        add(shape(chunk));
        done += chunk;
    }
    return *this;
}

Plan &Plan::memstore(uint32_t len) { return add(arksim::local(Bus::Memstore, len)); }
Plan &Plan::reg_read() { return add(arksim::register_read()); }
Plan &Plan::reg_write() { return add(arksim::register_write()); }
Plan &Plan::tunneling_init() { return add(arksim::tunneling_enable()); }
Plan &Plan::dt_read() { return add(arksim::dt_read()); }
Plan &Plan::mbox_read(uint32_t len) { return transfer(mailbox_read, len, 0, kMailboxUnit, 0); }
Plan &Plan::mbox_write(uint32_t len) { return transfer(mailbox_write, len, 0, kMailboxUnit, 0); }
Plan &Plan::mbox_poll() { return add(arksim::tunnel_poll()); }
Plan &Plan::chassis_read()
{
    return transfer(chassis_data_read, kChassisSize, kChassisOffset, kChassisUnit, 0);
}
Plan &Plan::eeprom_read(uint32_t offset, uint32_t len)
{
    return transfer(arksim::eeprom_read, len, offset, kEepromReadUnit, 0);
}
Plan &Plan::eeprom_write(uint32_t offset, uint32_t len)
{
    return transfer(arksim::eeprom_write, len, offset, kEepromWriteUnit, kEepromPage);
}
Plan &Plan::power_publish() { return add(arksim::power_write(2)); }

Plan &Plan::operator+=(const Plan &o)
{
    for (int b = 0; b < kBuses; ++b) {
        traffic.tx[b] += o.traffic.tx[b];
        traffic.bytes[b] += o.traffic.bytes[b];
    }
    traffic.bit_times += o.traffic.bit_times;
    traffic.write_cycles += o.traffic.write_cycles;
    return *this;
}

Plan operator+(Plan a, const Plan &b) { return a += b; }

uint64_t bus_ns(const Plan &p, uint64_t hz) { return arksim::bus_ns(p.traffic.bit_times, 0, hz); }
uint64_t total_ns(const Plan &p, uint64_t hz)
{
    return arksim::bus_ns(p.traffic.bit_times, p.traffic.write_cycles, hz);
}

namespace {

// ---- documented access plans ------------------------------------------------

Plan find_mailbox() { return Plan().mbox_read(15).mbox_read(2); }  // header, then signature
Plan netconf_formatted()
{
    return Plan().memstore(1) + find_mailbox() /* is_initialized */ + find_mailbox() + Plan().mbox_read(32);
}
Plan netconf_zeroed()
{
    return Plan().memstore(1) + find_mailbox() +
           Plan().mbox_write(16).mbox_write(2).mbox_write(5).mbox_read(15) + find_mailbox() +
           Plan().mbox_read(32) /* record valid? */ + find_mailbox() + Plan().mbox_write(32);
}
// Section header, then the descriptors up to and including "FD".
Plan segment_found(uint32_t descriptors)
{
    Plan p;
    p.eeprom_read(0, 6);
    for (uint32_t i = 0; i < descriptors; ++i)
        p.eeprom_read(6 + 10 * i, 10);
    return p;
}
Plan window(uint32_t at) { return Plan().eeprom_read(at, kWindow).eeprom_write(at, kWindow); }
Plan segment_created(uint32_t count)
{
    const uint32_t end = 6 + 10 * count;
    return segment_found(count) + window(end & ~15u) + Plan().eeprom_read(0, end + 10).eeprom_write(0, 6) +
           window(kRingAt) + Plan().eeprom_read(kSegmentAt, kChecksummed) + window(kTrailerWindow);
}
Plan ring_unchanged() { return Plan().memstore(1).eeprom_read(kRingAt, kRingRead).chassis_read(); }
Plan ring_added() { return ring_unchanged().reg_read().eeprom_write(kRingAt, kRingImage); }
Plan thermovrd_set() { return Plan().memstore(1).reg_write().memstore(1); }  // slot, register, key
// Slot byte, tunnel access (slot 3 has bit 4 clear), register 0x9C, chassis
// type, slot number.
Plan initialize_mp() { return Plan().reg_read().tunneling_init().reg_read().memstore(2).memstore(1); }
// Slot, override, the PCA9501's DT, PCA9501 defaults (slot; no defaults
// file), netconf, record.
Plan initialize_head() { return Plan().memstore(1) + thermovrd_set() + Plan().dt_read().memstore(1); }
Plan initialize_first() { return initialize_head() + netconf_zeroed() + segment_created(1) + ring_added(); }

// ---- states -----------------------------------------------------------------

std::string sp() { return arksim::sp_dir(); }

void set_key(const char *key, std::initializer_list<uint8_t> value)
{
    arksim::make_dirs(sp() + "/memstore");
    arksim::write_file_atomic(sp() + "/memstore/" + arksim::encode_key(key), std::vector<uint8_t>(value));
}

void boot()
{
    (void)arkb_initialize_mp();
    (void)arkb_initialize();
}

netconf_handle g_handle;

// 2048 bytes of chassis data: seven other descriptors before "SD", whose
// segment holds 110 16-byte fields before the manufacturing record.
void write_full_chassis_image()
{
    std::vector<uint8_t> image(kChassisOffset + kChassisSize, 0);
    const uint16_t sd = kChassisOffset + 96;
    std::vector<arksim::Segment> segments(8, arksim::Segment{{'X', 'D'}, 0, 0});
    segments.back() = {{'S', 'D'}, sd, static_cast<uint16_t>(image.size() - sd)};
    arksim::put_section(image, kChassisOffset, segments);
    const std::vector<uint8_t> record = arksim::manr_field(arksim::kDefaultChassisIdentity);
    std::size_t pos = sd;
    for (; pos + 16 <= image.size() - record.size() - 5; pos += 16) {
        image[pos] = 0x4F;  // short field, 15 payload bytes
        std::fill_n(image.begin() + static_cast<long>(pos) + 1, 15, ' ');
    }
    std::copy(record.begin(), record.end(), image.begin() + static_cast<long>(pos));
    image[pos + record.size()] = 0x0C;
    arksim::write_tunnel_bytes(arksim::chassis_of(sp()), arksim::kChassisFruTarget, kChassisOffset,
                               {image.begin() + kChassisOffset, image.end()});
}

void read_manr()
{
    uint8_t out[192];
    (void)get_manr_info(out);
}

const std::vector<Operation> &table()
{
    static const std::vector<Operation> ops = {
        {"arkb_initialize_mp", "slot 3, chassis 3096", [] {}, [] { (void)arkb_initialize_mp(); },
         initialize_mp()},
        {"arkb_initialize", "first start", [] { (void)arkb_initialize_mp(); },
         [] { (void)arkb_initialize(); }, initialize_first()},
        {"arkb_initialize", "restart", boot, [] { (void)arkb_initialize(); },
         initialize_head() + netconf_formatted() + segment_found(2) + ring_unchanged()},
        {"start-up (both calls)", "first start", [] {}, boot, initialize_mp() + initialize_first()},
        {"arkb_netconf_initialize", "formatted mailbox", boot, [] { (void)arkb_netconf_initialize(); },
         netconf_formatted()},
        {"arkb_netconf_initialize", "zeroed memory", [] { (void)arkb_initialize_mp(); },
         [] { (void)arkb_netconf_initialize(); }, netconf_zeroed()},
        {"arkb_instrec_update", "unchanged", boot, [] { (void)arkb_instrec_update(); },
         segment_found(2) + ring_unchanged()},
        {"arkb_instrec_update", "record added",
         [] {
             boot();
             arksim::write_chassis_fru(arksim::chassis_of(sp()), {"5412345", "CH0002", "01"});
         },
         [] { (void)arkb_instrec_update(); }, segment_found(2) + ring_added()},
        {"arkb_instrec_update", "segment created", [] { (void)arkb_initialize_mp(); },
         [] { (void)arkb_instrec_update(); }, segment_created(1) + ring_added()},
        {"get_manr_info", "record first", [] {}, read_manr, Plan().chassis_read()},
        {"get_manr_info", "full chassis image", write_full_chassis_image, read_manr, Plan().chassis_read()},
        {"arkb_netconf_check_req", "idle",
         [] {
             boot();
             (void)arkb_netconf_get_handle(&g_handle);
         },
         [] {
             netconf_settings s{};
             (void)arkb_netconf_check_req(&g_handle, &s);
         },
         Plan().mbox_poll()},
        {"arkb_get_slotid", "stored", [] { set_key("slotid", {3}); },
         [] {
             uint8_t slot = 0;
             (void)arkb_get_slotid(&slot);
         },
         Plan().memstore(1)},
        {"arkb_is_cmm_ready", "ready", [] { set_key("ARKB/CMMREADY", {1}); },
         [] { (void)arkb_is_cmm_ready(); }, Plan().memstore(1)},
        {"arkb_pwr_decision_ready", "CMM ready, published",
         [] {
             set_key("ARKB/CMMREADY", {1});
             set_key("arkb_pwrpubtime", {0, 0, 0, 100});
             arksim::write_text(sp() + "/uptime", "300\n");
         },
         [] { (void)arkb_pwr_decision_ready(); }, Plan().memstore(1).memstore(4)},
        {"arkb_set_tcontrol", "4, override off",
         [] {
             set_key("slotid", {3});
             set_key("therm_ovrd", {0});
         },
         [] { (void)arkb_set_tcontrol(4); }, Plan().memstore(4).memstore(1) + thermovrd_set()},
        {"arkb_pwr_publish_budget", "no cache yet", [] { set_key("slotid", {3}); },
         [] {
             const arkb_pwr_budget b = {300, 250};
             (void)arkb_pwr_publish_budget(&b);
         },
         Plan().memstore(0).memstore(4).memstore(4).memstore(1).power_publish()},
    };
    return ops;
}

}  // namespace

std::span<const Operation> operations() { return table(); }

const Operation *find_operation(std::string_view name, std::string_view state)
{
    for (const Operation &op : table())
        if (name == op.name && state == op.state)
            return &op;
    return nullptr;
}

void fresh_sp()
{
    const std::string dir = sp(), chassis = arksim::chassis_of(dir);
    arksim::remove_tree(chassis + "/tunnel");
    arksim::remove_tree(chassis + "/power");
    arksim::create_chassis(chassis, 3096);
    arksim::reset_blade(dir);
    arksim::set_slot(dir, 3);
}

Traffic measure(const Operation &op)
{
    fresh_sp();
    op.setup();
    const std::string dir = sp();
    arksim::reset_stats(dir);
    op.run();
    arksim::Stats s{};
    arksim::read_stats(dir, s);
    Traffic t;
    std::copy(std::begin(s.transactions), std::end(s.transactions), t.tx.begin());
    std::copy(std::begin(s.bytes), std::end(s.bytes), t.bytes.begin());
    for (int b = 0; b < kBuses; ++b) {
        t.bit_times += s.bus_bits[b];
        t.write_cycles += s.bus_cycles[b];
    }
    return t;
}

}  // namespace bench
