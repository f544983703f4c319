// An alsa-lib plugin for the tests: a control device that looks like a small sound card's
// mixer ("sorncard"), a PCM that is always busy ("sornbusy") and one that underruns once
// ("sornxrun"). alsa-lib loads it through a test's asoundrc; the test reads and changes the
// card's values through the two C functions at the end, as another program or the hardware
// would.
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>
#include <alsa/pcm_external.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Element {
  const char* name;
  snd_ctl_elem_type_t type;
  unsigned count;
  long minimum;
  long maximum;
  std::vector<long> values;
  std::vector<std::string> items;  // enumerated elements
};

struct Card {
  std::mutex lock;
  std::vector<Element> elements;
  std::deque<unsigned> events;  // element indices with a pending value event
  int eventFd = -1;
};
Card card;

void ResetCard() {
  card.elements = {
      {"Master Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 31, {20, 20}, {}},
      {"Master Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, {1, 1}, {}},
      {"PCM Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 255, {200, 180}, {}},
      {"PCM Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, {1, 1}, {}},
      {"Mic Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 1, 0, 31, {10}, {}},
      {"Mic Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 1, 0, 1, {0}, {}},
      {"Line Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 31, {10, 10}, {}},
      {"Line Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, {0, 0}, {}},
      {"Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 15, {8, 8}, {}},
      {"Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, {0, 0}, {}},
      {"Capture Source",
       SND_CTL_ELEM_TYPE_ENUMERATED,
       2,
       0,
       3,
       {2, 2},
       {"Mic", "CD", "Line", "Mix"}},
  };
  card.events.clear();
}

Element* At(snd_ctl_ext_key_t key) {
  return key < card.elements.size() ? &card.elements[key] : nullptr;
}

void Notify(unsigned index) {
  card.events.push_back(index);
  uint64_t one = 1;
  if (card.eventFd >= 0 && write(card.eventFd, &one, sizeof one) < 0) return;
}

int ElemCount(snd_ctl_ext_t*) {
  std::lock_guard<std::mutex> guard(card.lock);
  return int(card.elements.size());
}

int ElemList(snd_ctl_ext_t*, unsigned offset, snd_ctl_elem_id_t* id) {
  std::lock_guard<std::mutex> guard(card.lock);
  if (offset >= card.elements.size()) return -EINVAL;
  snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
  snd_ctl_elem_id_set_name(id, card.elements[offset].name);
  return 0;
}

snd_ctl_ext_key_t FindElem(snd_ctl_ext_t*, const snd_ctl_elem_id_t* id) {
  std::lock_guard<std::mutex> guard(card.lock);
  const char* name = snd_ctl_elem_id_get_name(id);
  for (size_t i = 0; i < card.elements.size(); ++i)
    if (std::strcmp(card.elements[i].name, name) == 0) return i;
  return SND_CTL_EXT_KEY_NOT_FOUND;
}

int GetAttribute(snd_ctl_ext_t*, snd_ctl_ext_key_t key, int* type, unsigned* access,
                 unsigned* count) {
  std::lock_guard<std::mutex> guard(card.lock);
  Element* e = At(key);
  if (!e) return -EINVAL;
  *type = e->type;
  *access = SND_CTL_EXT_ACCESS_READWRITE;
  *count = e->count;
  return 0;
}

int GetIntegerInfo(snd_ctl_ext_t*, snd_ctl_ext_key_t key, long* low, long* high, long* step) {
  std::lock_guard<std::mutex> guard(card.lock);
  Element* e = At(key);
  if (!e) return -EINVAL;
  *low = e->minimum;
  *high = e->maximum;
  *step = 1;
  return 0;
}

int GetEnumeratedInfo(snd_ctl_ext_t*, snd_ctl_ext_key_t key, unsigned* items) {
  std::lock_guard<std::mutex> guard(card.lock);
  Element* e = At(key);
  if (!e) return -EINVAL;
  *items = unsigned(e->items.size());
  return 0;
}

int GetEnumeratedName(snd_ctl_ext_t*, snd_ctl_ext_key_t key, unsigned item, char* name,
                      size_t size) {
  std::lock_guard<std::mutex> guard(card.lock);
  Element* e = At(key);
  if (!e || item >= e->items.size()) return -EINVAL;
  std::snprintf(name, size, "%s", e->items[item].c_str());
  return 0;
}

// Integer and enumerated values alike: one long per channel on the card.
template <typename T>
int ReadValues(snd_ctl_ext_t*, snd_ctl_ext_key_t key, T* values) {
  std::lock_guard<std::mutex> guard(card.lock);
  Element* e = At(key);
  if (!e) return -EINVAL;
  for (unsigned i = 0; i < e->count; ++i) values[i] = T(e->values[i]);
  return 0;
}

template <typename T>
int WriteValues(snd_ctl_ext_t*, snd_ctl_ext_key_t key, T* values) {
  std::lock_guard<std::mutex> guard(card.lock);
  Element* e = At(key);
  if (!e) return -EINVAL;
  bool changed = false;
  for (unsigned i = 0; i < e->count; ++i) {
    changed |= e->values[i] != long(values[i]);
    e->values[i] = long(values[i]);
  }
  if (changed) Notify(unsigned(key));
  return changed ? 1 : 0;
}

void SubscribeEvents(snd_ctl_ext_t*, int) {}

int ReadEvent(snd_ctl_ext_t*, snd_ctl_elem_id_t* id, unsigned* mask) {
  std::lock_guard<std::mutex> guard(card.lock);
  if (card.events.empty()) {
    uint64_t drained;
    if (read(card.eventFd, &drained, sizeof drained) < 0) return -EAGAIN;
    return -EAGAIN;
  }
  unsigned index = card.events.front();
  card.events.pop_front();
  snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
  snd_ctl_elem_id_set_name(id, card.elements[index].name);
  *mask = SND_CTL_EVENT_MASK_VALUE;
  return 1;
}

void Close(snd_ctl_ext_t* ext) {
  delete ext;
}

const snd_ctl_ext_callback_t callbacks = [] {
  snd_ctl_ext_callback_t c{};
  c.close = Close;
  c.elem_count = ElemCount;
  c.elem_list = ElemList;
  c.find_elem = FindElem;
  c.get_attribute = GetAttribute;
  c.get_integer_info = GetIntegerInfo;
  c.get_enumerated_info = GetEnumeratedInfo;
  c.get_enumerated_name = GetEnumeratedName;
  c.read_integer = ReadValues<long>;
  c.write_integer = WriteValues<long>;
  c.read_enumerated = ReadValues<unsigned>;
  c.write_enumerated = WriteValues<unsigned>;
  c.subscribe_events = SubscribeEvents;
  c.read_event = ReadEvent;
  return c;
}();

}  // namespace

extern "C" {

SND_CTL_PLUGIN_DEFINE_FUNC(sorncard) {
  (void)root;
  (void)conf;
  {
    std::lock_guard<std::mutex> guard(card.lock);
    if (card.elements.empty()) ResetCard();
    if (card.eventFd < 0) card.eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }
  auto* ext = new snd_ctl_ext_t{};
  ext->version = SND_CTL_EXT_VERSION;
  ext->card_idx = 0;
  std::strcpy(ext->id, "SornCard");
  std::strcpy(ext->driver, "sorn-test");
  std::strcpy(ext->name, "Sorn Test Card");
  std::strcpy(ext->longname, "Sorn Test Card");
  std::strcpy(ext->mixername, "Sorn Test Mixer");
  ext->poll_fd = card.eventFd;
  ext->callback = &callbacks;
  int err = snd_ctl_ext_create(ext, name, mode);
  if (err < 0) {
    delete ext;
    return err;
  }
  *handlep = ext->handle;
  return 0;
}
SND_CTL_PLUGIN_SYMBOL(sorncard);

// A PCM whose device is always in use by another program.
SND_PCM_PLUGIN_DEFINE_FUNC(sornbusy) {
  (void)pcmp;
  (void)name;
  (void)root;
  (void)conf;
  (void)stream;
  (void)mode;
  return -EBUSY;
}
SND_PCM_PLUGIN_SYMBOL(sornbusy);

// A playback PCM that plays whatever it is given at once and underruns once, after its second
// transfer ("sornxrun").
struct XrunPcm {
  snd_pcm_ioplug_t io{};
  int fd = -1;
  int transfers = 0;
  bool xrunDone = false;
};

int XrunStart(snd_pcm_ioplug_t*) {
  return 0;
}
int XrunStop(snd_pcm_ioplug_t*) {
  return 0;
}
snd_pcm_sframes_t XrunPointer(snd_pcm_ioplug_t* io) {
  auto* pcm = static_cast<XrunPcm*>(io->private_data);
  if (!pcm->xrunDone && pcm->transfers >= 2) {
    pcm->xrunDone = true;
    return -EPIPE;
  }
  return snd_pcm_sframes_t(io->appl_ptr % io->buffer_size);
}
snd_pcm_sframes_t XrunTransfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t*,
                               snd_pcm_uframes_t, snd_pcm_uframes_t size) {
  ++static_cast<XrunPcm*>(io->private_data)->transfers;
  return snd_pcm_sframes_t(size);
}
int XrunClose(snd_pcm_ioplug_t* io) {
  auto* pcm = static_cast<XrunPcm*>(io->private_data);
  close(pcm->fd);
  delete pcm;
  return 0;
}
snd_pcm_ioplug_callback_t XrunCallbacks() {
  snd_pcm_ioplug_callback_t callbacks{};
  callbacks.start = XrunStart;
  callbacks.stop = XrunStop;
  callbacks.pointer = XrunPointer;
  callbacks.transfer = XrunTransfer;
  callbacks.close = XrunClose;
  return callbacks;
}
const snd_pcm_ioplug_callback_t xrunCallbacks = XrunCallbacks();

SND_PCM_PLUGIN_DEFINE_FUNC(sornxrun) {
  (void)root;
  (void)conf;
  if (stream != SND_PCM_STREAM_PLAYBACK) return -EINVAL;
  auto* pcm = new XrunPcm;
  pcm->fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  pcm->io.version = SND_PCM_IOPLUG_VERSION;
  pcm->io.name = "sornxrun";
  pcm->io.callback = &xrunCallbacks;
  pcm->io.private_data = pcm;
  pcm->io.poll_fd = pcm->fd;
  pcm->io.poll_events = POLLOUT;
  int err = snd_pcm_ioplug_create(&pcm->io, name, stream, mode);
  if (err < 0) {
    close(pcm->fd);
    delete pcm;
    return err;
  }
  static const unsigned accesses[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
  static const unsigned formats[] = {SND_PCM_FORMAT_S16_LE, SND_PCM_FORMAT_U8};
  if ((err = snd_pcm_ioplug_set_param_list(&pcm->io, SND_PCM_IOPLUG_HW_ACCESS, 1, accesses)) < 0 ||
      (err = snd_pcm_ioplug_set_param_list(&pcm->io, SND_PCM_IOPLUG_HW_FORMAT, 2, formats)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&pcm->io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 2)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&pcm->io, SND_PCM_IOPLUG_HW_RATE, 44100, 44100)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&pcm->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64,
                                             1 << 20)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&pcm->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64)) < 0) {
    snd_pcm_ioplug_delete(&pcm->io);
    return err;
  }
  *pcmp = pcm->io.pcm;
  return 0;
}
SND_PCM_PLUGIN_SYMBOL(sornxrun);

// The test's view of the card: a value of an element, and a change from outside the program
// (it raises a value event).
long sorn_test_card_value(const char* name, unsigned channel) {
  std::lock_guard<std::mutex> guard(card.lock);
  for (const Element& e : card.elements)
    if (std::strcmp(e.name, name) == 0 && channel < e.count) return e.values[channel];
  return -1;
}

void sorn_test_card_change(const char* name, unsigned channel, long value) {
  std::lock_guard<std::mutex> guard(card.lock);
  for (size_t i = 0; i < card.elements.size(); ++i)
    if (std::strcmp(card.elements[i].name, name) == 0 && channel < card.elements[i].count) {
      card.elements[i].values[channel] = value;
      Notify(unsigned(i));
    }
}

void sorn_test_card_reset() {
  std::lock_guard<std::mutex> guard(card.lock);
  ResetCard();
}

}  // extern "C"
