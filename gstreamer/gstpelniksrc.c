/**
 * SECTION:element-pelniksrc
 * @title: pelniksrc
 *
 * Live pictures of a PelnikR5M-LX USB camera (on Linux, of the virtual
 * camera `pelnik-virtcam`). Without a caps filter it delivers colour (BGR);
 * a caps filter or `color-mode` chooses another mode: GRAY8, GRAY16_LE, BGR,
 * BGRx or BGRA64_LE. The caps carry the sensor's nominal frame rate for the
 * window and subsample chosen.
 *
 * The properties belong to the pipeline: the camera's stored settings are
 * read when the element starts and put back before it releases the camera,
 * unless `save-settings=true` keeps what the pipeline set.
 *
 * ## Example pipelines
 * |[
 * gst-launch-1.0 pelniksrc num-buffers=100 ! videoconvert ! autovideosink
 * gst-launch-1.0 pelniksrc num-buffers=1 ! videoconvert ! jpegenc ! filesink location=frame.jpg
 * gst-launch-1.0 pelniksrc window=0,0,640,480 ! video/x-raw,format=GRAY8 ! videoconvert !
 * autovideosink
 * gst-launch-1.0 -e pelniksrc num-buffers=150 ! videoconvert ! video/x-raw,format=I420 ! \
 *     x264enc ! mp4mux ! filesink location=movie.mp4
 * ]|
 *
 * The camera is opened when the element starts (READY to PAUSED) and
 * released when it stops. The stream is started without an application
 * buffer, so the SDK only announces each frame; every buffer is then filled
 * with Pelnik_GetImage, which copies the newest picture under the camera's
 * frame lock, so no buffer holds parts of two frames.
 */
#include "gstpelniksrc.h"

#include <PelnikErrors.h>
#include <PelnikMessages.h>
#include <PelnikModes.h>
#include <PelnikSdk_R5M_LX.h>
#include <PelnikTiming.h>
#include <stdio.h>
#include <string.h>

GST_DEBUG_CATEGORY_STATIC(gst_pelnik_src_debug);
#define GST_CAT_DEFAULT gst_pelnik_src_debug

/* How long one wait for a frame message lasts before flushing is looked at. */
#define FRAME_POLL_MS 20
#define ROW_ORDER_TOP_FIRST 1

typedef int (*FilterSetter)(int, int);
typedef int (*FilterGetter)(int, int *);

/* The named filter values of the SDK, one property each. */
typedef struct {
  const char *name;
  const char *blurb;
  FilterSetter set;
  FilterGetter get;
} FilterProperty;

/* The mirrors answer with the value itself; adapted to the filter getters' form. */
static int get_mirror_h(int handle, int *flag) {
  *flag = 1;
  return Pelnik_GetMirrorH(handle);
}
static int get_mirror_v(int handle, int *flag) {
  *flag = 1;
  return Pelnik_GetMirrorV(handle);
}

#define FILTER(prop, thing, text) \
  { prop, text, Pelnik_Set##thing, Pelnik_Get##thing }
static const FilterProperty kFilters[] = {
    FILTER("brightness", Brightness, "Brightness"),
    FILTER("contrast", Contrast, "Contrast"),
    FILTER("hue", Hue, "Hue rotation"),
    FILTER("saturation", Saturation, "Saturation"),
    FILTER("sharpness", Sharpness, "Sharpness"),
    FILTER("bayer-gain-rgb", BayerGainRGB, "Red, green, blue Bayer gains in bits 0-7, 8-15, 16-23"),
    FILTER("bayer-gain-red", BayerGainRed, "Red Bayer gain, 100 = unity"),
    FILTER("bayer-gain-green", BayerGainGreen, "Green Bayer gain, 100 = unity"),
    FILTER("bayer-gain-blue", BayerGainBlue, "Blue Bayer gain, 100 = unity"),
    FILTER("bayer-gain-auto", BayerGainAuto, "Automatic white balance, 1 on, 0 off"),
    FILTER("gamma", Gamma, "Gamma"),
    FILTER("bayer-mode", BayerMode, "Colour at the first pixel, 0..3"),
    FILTER("gain", GlobalGain, "Sensor gain (global gain)"),
    FILTER("color-gain-red", ColorGainRed, "Per-channel sensor gain (0 on this model)"),
    FILTER("color-gain-green1", ColorGainGreen1, "Per-channel sensor gain (0 on this model)"),
    FILTER("color-gain-green2", ColorGainGreen2, "Per-channel sensor gain (0 on this model)"),
    FILTER("color-gain-blue", ColorGainBlue, "Per-channel sensor gain (0 on this model)"),
    FILTER("exposure-lines", ExposureTime, "Exposure in sensor lines"),
    FILTER("gray-mode", GrayMode, "Gray mode"),
    FILTER("gray-gain-r", GrayGainR, "Gray gain of the R site"),
    FILTER("gray-gain-g1", GrayGainG1, "Gray gain of the G1 site"),
    FILTER("gray-gain-g2", GrayGainG2, "Gray gain of the G2 site"),
    FILTER("gray-gain-b", GrayGainB, "Gray gain of the B site"),
    FILTER("gray-offset-r", GrayOffsetR, "Gray offset of the R site"),
    FILTER("gray-offset-g1", GrayOffsetG1, "Gray offset of the G1 site"),
    FILTER("gray-offset-g2", GrayOffsetG2, "Gray offset of the G2 site"),
    FILTER("gray-offset-b", GrayOffsetB, "Gray offset of the B site"),
    {"mirror-h", "Horizontal mirror, 1 on, 0 off", Pelnik_SetMirrorH, get_mirror_h},
    {"mirror-v", "Vertical mirror, 1 on, 0 off", Pelnik_SetMirrorV, get_mirror_v},
};
#undef FILTER
#define N_FILTERS G_N_ELEMENTS(kFilters)

enum {
  PROP_0,
  PROP_CAMERA,
  PROP_WINDOW,
  PROP_SUBSAMPLE,
  PROP_COLOR_MODE,
  PROP_EXPOSURE,
  PROP_FULL_RANGE,
  PROP_FRAME_TIMEOUT,
  PROP_SAVE_SETTINGS,
  PROP_EXPOSURE_US,
  PROP_FIRST_FILTER
};

/* The raw video format each colour mode (of the table in PelnikModes.h) is
 * delivered as. 48 and 64 both become BGRA64_LE, the nearest
 * 16-bit-per-channel packed format GStreamer has. */
static GstVideoFormat format_of_mode(const PelnikColourModeInfo *mode) {
  const gboolean wide = PelnikColourModeSampleBits(mode) > 8;
  switch (mode->channels) {
    case 1:
      return wide ? GST_VIDEO_FORMAT_GRAY16_LE : GST_VIDEO_FORMAT_GRAY8;
    case 3:
      return wide ? GST_VIDEO_FORMAT_BGRA64_LE : GST_VIDEO_FORMAT_BGR;
    case 4:
      return wide ? GST_VIDEO_FORMAT_BGRA64_LE : GST_VIDEO_FORMAT_BGRx;
    default:
      return GST_VIDEO_FORMAT_UNKNOWN;
  }
}

struct _GstPelnikSrc {
  GstPushSrc parent;

  /* Properties, guarded by the object lock. */
  gint camera_number;
  gchar *window; /* "x,y,width,height" or NULL */
  gint subsample;
  gint color_mode; /* 0: chosen by the caps */
  gint exposure_us;
  gboolean full_range;
  gint frame_timeout_ms; /* 0: wait without limit */
  gint filters[N_FILTERS];
  gboolean save_settings;

  /* What the camera held when the element opened it, put back before it is
   * released unless save_settings (streaming thread and state changes only). */
  struct {
    gboolean valid;
    int filters[N_FILTERS];
    gboolean filter_read[N_FILTERS];
    int color_bits;
    int subsample;
    int window[6];
  } stored;

  /* The open camera (streaming thread and state changes only). */
  int owner;
  int callback;
  int handle;
  gboolean streaming;
  gboolean negotiated;
  GstVideoInfo info;
  int bits;
  guint8 *scratch; /* mode 48: the SDK's 6-byte pixels before widening */
  gsize scratch_size;
  guint64 frames;
  volatile gint flushing;
};

#define gst_pelnik_src_parent_class parent_class
G_DEFINE_TYPE(GstPelnikSrc, gst_pelnik_src, GST_TYPE_PUSH_SRC);

static GParamSpec *filter_properties[N_FILTERS];

enum { SIGNAL_SNAPSHOT, N_SIGNALS };
static guint signals[N_SIGNALS];

static GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format = (string) { GRAY8, GRAY16_LE, BGR, BGRx, BGRA64_LE }, "
                    "width = (int) [ 1, 1280 ], height = (int) [ 1, 1024 ], "
                    "framerate = (fraction) [ 0/1, 1000/1 ]"));

/* The code of the failure just seen: the one recorded, else one posted. */
static int take_error_code(GstPelnikSrc *self) {
  int code = self->handle ? Pelnik_GetLastError(self->handle) : 0;
  PelnikMsg msg;
  while (self->owner && PelnikMsg_Get(self->owner, &msg, 0) == 1) {
    if (code == 0 && msg.message == PELNIK_WM_ERROR) code = (int)msg.lParam;
  }
  return code;
}

/* Posts an error message carrying the SDK code in its details. */
static void post_sdk_error(GstPelnikSrc *self, const char *function, int code) {
  char words[160];
  GST_ELEMENT_ERROR_WITH_DETAILS(
      self, RESOURCE, FAILED,
      ("Camera %d: %s: %s", self->camera_number, function,
       PelnikErrorDescribe(code, words, sizeof words)),
      (NULL),
      ("pelnik-error-code", G_TYPE_INT, code, "pelnik-function", G_TYPE_STRING, function, NULL));
}

static void post_sdk_warning(GstPelnikSrc *self, const char *what, int code) {
  char words[160];
  GST_ELEMENT_WARNING_WITH_DETAILS(self, RESOURCE, SETTINGS,
                                   ("Camera %d: %s: %s", self->camera_number, what,
                                    PelnikErrorDescribe(code, words, sizeof words)),
                                   (NULL), ("pelnik-error-code", G_TYPE_INT, code, NULL));
}

static gboolean parse_window(const gchar *text, int out[4]) {
  if (!text || !*text) return FALSE;
  char tail;
  return sscanf(text, "%d,%d,%d,%d%c", &out[0], &out[1], &out[2], &out[3], &tail) == 4;
}

static int bits_of_format(GstVideoFormat format, int preferred) {
  if (format == GST_VIDEO_FORMAT_BGRA64_LE) return preferred == 48 ? 48 : 64;
  for (int i = 0; i < PELNIK_COLOUR_MODE_COUNT; ++i)
    if (format_of_mode(&kPelnikColourModes[i]) == format) return kPelnikColourModes[i].setBits;
  return 0;
}

static GstVideoFormat format_of_bits(int bits) {
  for (int i = 0; i < PELNIK_COLOUR_MODE_COUNT; ++i)
    if (kPelnikColourModes[i].setBits == bits) return format_of_mode(&kPelnikColourModes[i]);
  return GST_VIDEO_FORMAT_UNKNOWN;
}

/* Pelnik_GetColorMode's value as the bits Pelnik_SetColorMode takes. */
static int current_bits(int handle) {
  switch (Pelnik_GetColorMode(handle)) {
    case 8:
      return 8;
    case 10:
      return 16;
    case 24:
      return 24;
    case 32:
      return 32;
    case 42:
      return 48;
    case 58:
      return 64;
    default:
      return 0;
  }
}

static void gst_pelnik_src_init(GstPelnikSrc *self) {
  self->camera_number = 0;
  self->subsample = GST_PELNIK_SRC_KEEP;
  self->exposure_us = GST_PELNIK_SRC_KEEP;
  self->full_range = TRUE;
  for (guint i = 0; i < N_FILTERS; ++i) self->filters[i] = GST_PELNIK_SRC_KEEP;
  gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
  gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
  gst_base_src_set_do_timestamp(GST_BASE_SRC(self), FALSE);
}

static void gst_pelnik_src_finalize(GObject *object) {
  GstPelnikSrc *self = GST_PELNIK_SRC(object);
  g_free(self->window);
  g_free(self->scratch);
  G_OBJECT_CLASS(parent_class)->finalize(object);
}

static void gst_pelnik_src_set_property(GObject *object, guint prop_id, const GValue *value,
                                        GParamSpec *pspec) {
  GstPelnikSrc *self = GST_PELNIK_SRC(object);
  GST_OBJECT_LOCK(self);
  switch (prop_id) {
    case PROP_CAMERA:
      self->camera_number = g_value_get_int(value);
      break;
    case PROP_WINDOW:
      g_free(self->window);
      self->window = g_value_dup_string(value);
      break;
    case PROP_SUBSAMPLE:
      self->subsample = g_value_get_int(value);
      break;
    case PROP_COLOR_MODE:
      self->color_mode = g_value_get_int(value);
      break;
    case PROP_EXPOSURE:
    case PROP_EXPOSURE_US:
      self->exposure_us = g_value_get_int(value);
      break;
    case PROP_FULL_RANGE:
      self->full_range = g_value_get_boolean(value);
      break;
    case PROP_FRAME_TIMEOUT:
      self->frame_timeout_ms = g_value_get_int(value);
      break;
    case PROP_SAVE_SETTINGS:
      self->save_settings = g_value_get_boolean(value);
      break;
    default:
      if (prop_id >= PROP_FIRST_FILTER && prop_id < PROP_FIRST_FILTER + N_FILTERS) {
        const guint i = prop_id - PROP_FIRST_FILTER;
        const int v = g_value_get_int(value);
        self->filters[i] = v;
        /* Filter values apply from the next frame: an open camera takes
         * them at once. */
        if (self->handle && v != GST_PELNIK_SRC_KEEP && !kFilters[i].set(self->handle, v)) {
          const int code = take_error_code(self);
          GST_OBJECT_UNLOCK(self);
          post_sdk_warning(self, kFilters[i].name, code);
          return;
        }
      } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, prop_id, pspec);
      }
  }
  GST_OBJECT_UNLOCK(self);
}

static void gst_pelnik_src_get_property(GObject *object, guint prop_id, GValue *value,
                                        GParamSpec *pspec) {
  GstPelnikSrc *self = GST_PELNIK_SRC(object);
  GST_OBJECT_LOCK(self);
  switch (prop_id) {
    case PROP_CAMERA:
      g_value_set_int(value, self->camera_number);
      break;
    case PROP_WINDOW:
      g_value_set_string(value, self->window);
      break;
    case PROP_SUBSAMPLE:
      g_value_set_int(value, self->subsample);
      break;
    case PROP_COLOR_MODE:
      g_value_set_int(value, self->color_mode);
      break;
    case PROP_EXPOSURE:
    case PROP_EXPOSURE_US:
      g_value_set_int(value, self->exposure_us);
      break;
    case PROP_FULL_RANGE:
      g_value_set_boolean(value, self->full_range);
      break;
    case PROP_FRAME_TIMEOUT:
      g_value_set_int(value, self->frame_timeout_ms);
      break;
    case PROP_SAVE_SETTINGS:
      g_value_set_boolean(value, self->save_settings);
      break;
    default:
      if (prop_id >= PROP_FIRST_FILTER && prop_id < PROP_FIRST_FILTER + N_FILTERS) {
        const guint i = prop_id - PROP_FIRST_FILTER;
        int v = self->filters[i];
        /* An open camera answers with what it holds. */
        if (self->handle) {
          int flag = 0;
          const int held = kFilters[i].get(self->handle, &flag);
          if (flag) v = held;
        }
        g_value_set_int(value, v);
      } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, prop_id, pspec);
      }
  }
  GST_OBJECT_UNLOCK(self);
}

/* Reads what the camera holds before the properties change it. */
static void remember_stored_settings(GstPelnikSrc *self) {
  const int h = self->handle;
  for (guint i = 0; i < N_FILTERS; ++i) {
    int flag = 0;
    self->stored.filters[i] = kFilters[i].get(h, &flag);
    self->stored.filter_read[i] = flag == 1;
  }
  self->stored.color_bits = current_bits(h);
  self->stored.subsample = Pelnik_GetSubSample(h);
  int *w = self->stored.window;
  Pelnik_GetCaptureWindowEx(h, &w[0], &w[1], &w[2], &w[3], &w[4], &w[5]);
  self->stored.valid = TRUE;
}

/* Puts back what remember_stored_settings read, where the pipeline changed
 * it, so that the library's save at release stores the values it found. */
static void restore_stored_settings(GstPelnikSrc *self) {
  const int h = self->handle;
  const int *w = self->stored.window;
  int now[6] = {0};
  Pelnik_GetCaptureWindowEx(h, &now[0], &now[1], &now[2], &now[3], &now[4], &now[5]);
  if (memcmp(now, w, sizeof now) != 0)
    Pelnik_SetCaptureWindowEx(h, w[0], w[1], w[2], w[3], w[4], w[5]);
  if (Pelnik_GetSubSample(h) != self->stored.subsample)
    Pelnik_SetSubSample(h, self->stored.subsample);
  if (self->stored.color_bits && current_bits(h) != self->stored.color_bits)
    Pelnik_SetColorMode(h, self->stored.color_bits);
  for (guint i = 0; i < N_FILTERS; ++i) {
    if (!self->stored.filter_read[i]) continue;
    int flag = 0;
    if (kFilters[i].get(h, &flag) != self->stored.filters[i] || flag != 1)
      kFilters[i].set(h, self->stored.filters[i]);
  }
  /* Nothing of the restoring belongs in a later failure's report. */
  while (Pelnik_GetLastError(h) != 0) {
  }
}

static void close_camera(GstPelnikSrc *self) {
  if (self->handle) {
    Pelnik_StopPreview(self->handle);
    GST_OBJECT_LOCK(self);
    const gboolean save = self->save_settings;
    GST_OBJECT_UNLOCK(self);
    if (self->stored.valid && !save) restore_stored_settings(self);
    self->stored.valid = FALSE;
    /* Cleared under the object lock before the release: a snapshot action
     * holding the lock must never see a released handle. */
    GST_OBJECT_LOCK(self);
    const int handle = self->handle;
    self->handle = 0;
    GST_OBJECT_UNLOCK(self);
    Pelnik_Release(handle);
  }
  if (self->callback) PelnikMsg_DestroyWindow(self->callback);
  if (self->owner) PelnikMsg_DestroyWindow(self->owner);
  self->owner = self->callback = 0;
  self->streaming = FALSE;
  self->negotiated = FALSE;
  g_clear_pointer(&self->scratch, g_free);
  self->scratch_size = 0;
}

/* Sends the settings the properties hold to the camera; FALSE after posting
 * an error with the SDK's code. */
static gboolean apply_settings(GstPelnikSrc *self) {
  GST_OBJECT_LOCK(self);
  int window[4];
  gchar *window_text = g_strdup(self->window);
  const gboolean has_window = parse_window(window_text, window);
  const gboolean bad_window = window_text && *window_text && !has_window;
  const int subsample = self->subsample;
  const int exposure = self->exposure_us;
  int filters[N_FILTERS];
  memcpy(filters, self->filters, sizeof filters);
  GST_OBJECT_UNLOCK(self);

  if (bad_window) {
    GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS,
                      ("window must be \"x,y,width,height\", not \"%s\"", window_text), (NULL));
    g_free(window_text);
    return FALSE;
  }
  g_free(window_text);
  if (has_window) {
    int total_h = 0, total_v = 0;
    Pelnik_GetCaptureWindowEx(self->handle, &total_h, NULL, NULL, &total_v, NULL, NULL);
    if (!Pelnik_SetCaptureWindowEx(self->handle, total_h, window[0], window[2], total_v, window[1],
                                   window[3])) {
      post_sdk_error(self, "Pelnik_SetCaptureWindowEx", take_error_code(self));
      return FALSE;
    }
  }
  if (subsample != GST_PELNIK_SRC_KEEP && !Pelnik_SetSubSample(self->handle, subsample)) {
    post_sdk_error(self, "Pelnik_SetSubSample", PELNIK_ERR_ARGUMENT);
    return FALSE;
  }
  if (exposure != GST_PELNIK_SRC_KEEP && !Pelnik_SetRealExposureTime(self->handle, exposure)) {
    post_sdk_error(self, "Pelnik_SetRealExposureTime", take_error_code(self));
    return FALSE;
  }
  for (guint i = 0; i < N_FILTERS; ++i) {
    if (filters[i] == GST_PELNIK_SRC_KEEP) continue;
    if (!kFilters[i].set(self->handle, filters[i])) {
      char what[64];
      g_snprintf(what, sizeof what, "setting %s to %d", kFilters[i].name, filters[i]);
      post_sdk_error(self, what, take_error_code(self));
      return FALSE;
    }
  }
  return TRUE;
}

static gboolean gst_pelnik_src_start(GstBaseSrc *base) {
  GstPelnikSrc *self = GST_PELNIK_SRC(base);
  self->owner = PelnikMsg_CreateWindow();
  self->callback = PelnikMsg_CreateWindow();
  if (!self->owner || !self->callback) {
    post_sdk_error(self, "PelnikMsg_CreateWindow", PELNIK_ERR_MEMORY);
    close_camera(self);
    return FALSE;
  }
  const int handle = Pelnik_Initialize(self->owner);
  if (!handle) {
    post_sdk_error(self, "Pelnik_Initialize", PELNIK_ERR_MEMORY);
    close_camera(self);
    return FALSE;
  }
  GST_OBJECT_LOCK(self);
  self->handle = handle;
  const int number = self->camera_number;
  GST_OBJECT_UNLOCK(self);
  if (!Pelnik_SetDeviceNumber(handle, number)) {
    const int code = take_error_code(self);
    char name[32];
    if (code == PELNIK_ERR_CAMERA_ABSENT &&
        !Pelnik_GetDeviceName(handle, number, name, sizeof name))
      GST_ELEMENT_ERROR_WITH_DETAILS(self, RESOURCE, NOT_FOUND,
                                     ("no camera %d is connected (error %d)", number, code), (NULL),
                                     ("pelnik-error-code", G_TYPE_INT, code, "pelnik-function",
                                      G_TYPE_STRING, "Pelnik_SetDeviceNumber", NULL));
    else
      post_sdk_error(self, "Pelnik_SetDeviceNumber", code);
    close_camera(self);
    return FALSE;
  }
  remember_stored_settings(self);
  if (!apply_settings(self)) {
    close_camera(self);
    return FALSE;
  }
  self->frames = 0;
  return TRUE;
}

static gboolean gst_pelnik_src_stop(GstBaseSrc *base) {
  close_camera(GST_PELNIK_SRC(base));
  return TRUE;
}

/* Picture size of the camera's current format. */
static void picture_size(GstPelnikSrc *self, int *width, int *height) {
  const int divisor = PelnikSubsampleDivisor(Pelnik_GetSubSample(self->handle));
  *width = Pelnik_Width(self->handle) / divisor;
  *height = Pelnik_Height(self->handle) / divisor;
}

/* The colour mode delivered when neither caps nor color-mode choose one. */
static const int kDefaultBits = 24;

/* The sensor's nominal rate for pictures of `height` rows at the exposure
 * the camera holds, as a fraction. */
static void nominal_rate(GstPelnikSrc *self, int height, int *num, int *den) {
  int flag = 0;
  const int lines = Pelnik_GetExposureTime(self->handle, &flag);
  const double period = PelnikNominalFramePeriodNs(height, flag == 1 ? lines : 0);
  gst_util_double_to_fraction(1e9 / period, num, den);
}

static GstCaps *gst_pelnik_src_get_caps(GstBaseSrc *base, GstCaps *filter) {
  GstPelnikSrc *self = GST_PELNIK_SRC(base);
  GstCaps *caps;
  if (!self->handle) {
    caps = gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(base));
  } else if (self->negotiated && self->streaming) {
    /* Once frames flow the format is fixed. */
    caps = gst_video_info_to_caps(&self->info);
  } else {
    int width, height;
    picture_size(self, &width, &height);
    GST_OBJECT_LOCK(self);
    const int forced = self->color_mode;
    GST_OBJECT_UNLOCK(self);
    /* Colour first, whatever mode a program stored last, so that a
     * pipeline without caps gives the same pictures every day. */
    const int stored = kDefaultBits;
    GValue formats = G_VALUE_INIT;
    g_value_init(&formats, GST_TYPE_LIST);
    int order[PELNIK_COLOUR_MODE_COUNT + 1];
    int n = 0;
    if (forced) {
      order[n++] = forced;
    } else {
      if (stored) order[n++] = stored;
      for (int i = 0; i < PELNIK_COLOUR_MODE_COUNT; ++i)
        if (kPelnikColourModes[i].setBits != stored) order[n++] = kPelnikColourModes[i].setBits;
    }
    GstVideoFormat listed[PELNIK_COLOUR_MODE_COUNT + 1];
    int nlisted = 0;
    for (int i = 0; i < n; ++i) {
      const GstVideoFormat f = format_of_bits(order[i]);
      gboolean seen = FALSE;
      for (int j = 0; j < nlisted; ++j) seen |= listed[j] == f;
      if (seen || f == GST_VIDEO_FORMAT_UNKNOWN) continue;
      listed[nlisted++] = f;
      GValue v = G_VALUE_INIT;
      g_value_init(&v, G_TYPE_STRING);
      g_value_set_static_string(&v, gst_video_format_to_string(f));
      gst_value_list_append_and_take_value(&formats, &v);
    }
    int rate_n, rate_d;
    nominal_rate(self, height, &rate_n, &rate_d);
    caps = gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, width, "height", G_TYPE_INT,
                               height, "framerate", GST_TYPE_FRACTION, rate_n, rate_d, NULL);
    gst_structure_take_value(gst_caps_get_structure(caps, 0), "format", &formats);
  }
  if (filter) {
    GstCaps *both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(caps);
    caps = both;
  }
  return caps;
}

static gboolean gst_pelnik_src_set_caps(GstBaseSrc *base, GstCaps *caps) {
  GstPelnikSrc *self = GST_PELNIK_SRC(base);
  GstVideoInfo info;
  if (!gst_video_info_from_caps(&info, caps)) return FALSE;
  if (self->streaming) {
    if (gst_video_info_is_equal(&info, &self->info)) return TRUE;
    /* The SDK fixes the format when acquisition starts. */
    GST_ELEMENT_WARNING(self, CORE, NEGOTIATION, ("Renegotiation refused while the camera streams"),
                        ("current %" GST_PTR_FORMAT, caps));
    return FALSE;
  }
  GST_OBJECT_LOCK(self);
  const int forced = self->color_mode;
  GST_OBJECT_UNLOCK(self);
  const int bits =
      bits_of_format(GST_VIDEO_INFO_FORMAT(&info), forced ? forced : current_bits(self->handle));
  int width, height;
  picture_size(self, &width, &height);
  if (!bits || GST_VIDEO_INFO_WIDTH(&info) != width || GST_VIDEO_INFO_HEIGHT(&info) != height)
    return FALSE;
  if (!Pelnik_SetColorMode(self->handle, bits)) {
    post_sdk_error(self, "Pelnik_SetColorMode", take_error_code(self));
    return FALSE;
  }
  self->info = info;
  self->bits = bits;
  self->negotiated = TRUE;
  return TRUE;
}

static GstCaps *gst_pelnik_src_fixate(GstBaseSrc *base, GstCaps *caps) {
  caps = gst_caps_make_writable(caps);
  GstStructure *s = gst_caps_get_structure(caps, 0);
  gst_structure_fixate_field_nearest_int(s, "width", 1280);
  gst_structure_fixate_field_nearest_int(s, "height", 1024);
  gst_structure_fixate_field_nearest_fraction(s, "framerate", 31, 1);
  return GST_BASE_SRC_CLASS(parent_class)->fixate(base, caps);
}

/* A live source answers how late its buffers are: a picture is delivered
 * at least one frame period after its exposure began. */
static gboolean gst_pelnik_src_query(GstBaseSrc *base, GstQuery *query) {
  GstPelnikSrc *self = GST_PELNIK_SRC(base);
  if (GST_QUERY_TYPE(query) != GST_QUERY_LATENCY)
    return GST_BASE_SRC_CLASS(parent_class)->query(base, query);
  if (!self->handle) return FALSE;
  int width, height;
  picture_size(self, &width, &height);
  int num, den;
  nominal_rate(self, height, &num, &den);
  const GstClockTime period = gst_util_uint64_scale_int(GST_SECOND, den, num);
  /* The newest picture is copied when a buffer is made, never one older. */
  gst_query_set_latency(query, TRUE, period, 2 * period);
  return TRUE;
}

static gboolean gst_pelnik_src_unlock(GstBaseSrc *base) {
  g_atomic_int_set(&GST_PELNIK_SRC(base)->flushing, 1);
  return TRUE;
}

static gboolean gst_pelnik_src_unlock_stop(GstBaseSrc *base) {
  g_atomic_int_set(&GST_PELNIK_SRC(base)->flushing, 0);
  return TRUE;
}

static gboolean start_stream(GstPelnikSrc *self) {
  if (!Pelnik_CallBackPreview(self->handle, self->callback, NULL, 0, ROW_ORDER_TOP_FIRST)) {
    post_sdk_error(self, "Pelnik_CallBackPreview", take_error_code(self));
    return FALSE;
  }
  self->streaming = TRUE;
  return TRUE;
}

/* Waits for the next frame message and skips to the newest of those
 * waiting. GST_FLOW_OK with a frame, FLUSHING when unlocked, ERROR after
 * posting the SDK's code. */
static GstFlowReturn wait_frame(GstPelnikSrc *self) {
  PelnikMsg msg;
  gboolean have_frame = FALSE;
  GST_OBJECT_LOCK(self);
  const gint64 limit_us = (gint64)self->frame_timeout_ms * 1000;
  GST_OBJECT_UNLOCK(self);
  const gint64 started = g_get_monotonic_time();
  for (;;) {
    if (g_atomic_int_get(&self->flushing)) return GST_FLOW_FLUSHING;
    if (!have_frame && limit_us > 0 && g_get_monotonic_time() - started > limit_us) {
      /* A camera that stalls without failing would hold the pipeline forever. */
      post_sdk_error(self, "waiting for a frame", PELNIK_ERR_STOPPED);
      return GST_FLOW_ERROR;
    }
    const int got = PelnikMsg_Get(self->callback, &msg, have_frame ? 0 : FRAME_POLL_MS);
    if (got < 0) {
      post_sdk_error(self, "PelnikMsg_Get", PELNIK_ERR_NO_DEVICE);
      return GST_FLOW_ERROR;
    }
    if (got == 0) {
      if (have_frame) return GST_FLOW_OK;
      continue;
    }
    if (msg.message != PELNIK_WM_FRAME) continue;
    if (msg.wParam != 0) {
      have_frame = TRUE;
      continue;
    }
    const int code = (int)msg.lParam;
    if (code == PELNIK_ERR_ACQUISITION) {
      /* One frame failed; the camera goes on. */
      post_sdk_warning(self, "frame skipped", code);
      continue;
    }
    take_error_code(self);
    post_sdk_error(self, "Pelnik_CallBackPreview", code);
    return GST_FLOW_ERROR;
  }
}

/* 10 significant bits to the full 16-bit range, the top bits repeated
 * below so that 1023 becomes 65535. */
static inline guint16 full_range(guint16 v) { return (guint16)((v << 6) | (v >> 4)); }

static void widen_48_to_64(const guint8 *src, gsize src_stride, guint8 *dst, gsize dst_stride,
                           int width, int height) {
  for (int y = 0; y < height; ++y) {
    const guint16 *in = (const guint16 *)(src + (gsize)y * src_stride);
    guint16 *out = (guint16 *)(dst + (gsize)y * dst_stride);
    for (int x = 0; x < width; ++x) {
      out[4 * x + 0] = in[3 * x + 0];
      out[4 * x + 1] = in[3 * x + 1];
      out[4 * x + 2] = in[3 * x + 2];
    }
  }
}

/* Makes the picture what its caps say: 16-bit samples scaled when asked,
 * and an opaque alpha for BGRA64_LE (the SDK leaves the fourth sample 0). */
static void finish_picture(GstPelnikSrc *self, guint8 *data, gboolean scale) {
  const int width = GST_VIDEO_INFO_WIDTH(&self->info);
  const int height = GST_VIDEO_INFO_HEIGHT(&self->info);
  const gsize stride = GST_VIDEO_INFO_PLANE_STRIDE(&self->info, 0);
  if (self->bits == 16) {
    if (!scale) return;
    for (int y = 0; y < height; ++y) {
      guint16 *row = (guint16 *)(data + (gsize)y * stride);
      for (int x = 0; x < width; ++x) row[x] = full_range(row[x]);
    }
  } else if (self->bits == 48 || self->bits == 64) {
    for (int y = 0; y < height; ++y) {
      guint16 *row = (guint16 *)(data + (gsize)y * stride);
      for (int x = 0; x < width; ++x) {
        if (scale) {
          row[4 * x + 0] = full_range(row[4 * x + 0]);
          row[4 * x + 1] = full_range(row[4 * x + 1]);
          row[4 * x + 2] = full_range(row[4 * x + 2]);
        }
        row[4 * x + 3] = 0xFFFF;
      }
    }
  }
}

static GstFlowReturn gst_pelnik_src_create(GstPushSrc *push, GstBuffer **out) {
  GstPelnikSrc *self = GST_PELNIK_SRC(push);
  if (!self->negotiated) return GST_FLOW_NOT_NEGOTIATED;
  if (!self->streaming && !start_stream(self)) return GST_FLOW_ERROR;

  const GstFlowReturn waited = wait_frame(self);
  if (waited != GST_FLOW_OK) return waited;

  /* Arrival on the pipeline clock. */
  GstClockTime pts = GST_CLOCK_TIME_NONE;
  GstClock *clock = gst_element_get_clock(GST_ELEMENT(self));
  if (clock) {
    const GstClockTime now = gst_clock_get_time(clock);
    const GstClockTime base_time = gst_element_get_base_time(GST_ELEMENT(self));
    pts = now > base_time ? now - base_time : 0;
    gst_object_unref(clock);
  }

  GstBuffer *buffer = gst_buffer_new_allocate(NULL, GST_VIDEO_INFO_SIZE(&self->info), NULL);
  if (!buffer) {
    post_sdk_error(self, "gst_buffer_new_allocate", PELNIK_ERR_MEMORY);
    return GST_FLOW_ERROR;
  }
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  const int width = GST_VIDEO_INFO_WIDTH(&self->info);
  const int height = GST_VIDEO_INFO_HEIGHT(&self->info);
  int ok;
  if (self->bits == 48) {
    const gsize stride = ((gsize)width * 6 + 3) & ~(gsize)3;
    if (self->scratch_size < stride * (gsize)height) {
      g_free(self->scratch);
      self->scratch_size = stride * (gsize)height;
      self->scratch = g_malloc(self->scratch_size);
    }
    ok = Pelnik_GetImage(self->handle, self->scratch, (int)self->scratch_size, ROW_ORDER_TOP_FIRST);
    if (ok)
      widen_48_to_64(self->scratch, stride, map.data, GST_VIDEO_INFO_PLANE_STRIDE(&self->info, 0),
                     width, height);
  } else {
    ok = Pelnik_GetImage(self->handle, map.data, (int)map.size, ROW_ORDER_TOP_FIRST);
  }
  if (ok) {
    GST_OBJECT_LOCK(self);
    const gboolean scale = self->full_range;
    GST_OBJECT_UNLOCK(self);
    finish_picture(self, map.data, scale);
  }
  gst_buffer_unmap(buffer, &map);
  if (!ok) {
    gst_buffer_unref(buffer);
    post_sdk_error(self, "Pelnik_GetImage", take_error_code(self));
    return GST_FLOW_ERROR;
  }
  GST_BUFFER_PTS(buffer) = pts;
  GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
  GST_BUFFER_OFFSET(buffer) = self->frames;
  GST_BUFFER_OFFSET_END(buffer) = ++self->frames;
  *out = buffer;
  return GST_FLOW_OK;
}

/* The "snapshot" action: the camera's newest picture written to `file_name`
 * in `format` (a PELNIK_FILE_* code) by Pelnik_SaveImage, while the stream
 * goes on. FALSE when no camera is open or the SDK fails. */
static gboolean gst_pelnik_src_snapshot(GstPelnikSrc *self, const gchar *file_name, gint format) {
  if (!file_name || !*file_name) return FALSE;
  GST_OBJECT_LOCK(self);
  /* Under the object lock so that a stop cannot release the handle meanwhile. */
  const gboolean saved = self->handle && Pelnik_SaveImage(self->handle, file_name, format);
  GST_OBJECT_UNLOCK(self);
  if (!saved) GST_WARNING_OBJECT(self, "snapshot to %s failed", file_name);
  return saved;
}

static GParamSpec *int_keep(const char *name, const char *blurb, GParamFlags mutable_flag) {
  gchar *text = g_strdup_printf("%s; -2147483648 keeps the camera's stored value", blurb);
  /* Without G_PARAM_STATIC_BLURB the property keeps a copy of the text. */
  GParamSpec *property = g_param_spec_int(
      name, name, text, G_MININT, G_MAXINT, GST_PELNIK_SRC_KEEP,
      (GParamFlags)(G_PARAM_READWRITE | G_PARAM_STATIC_NAME | G_PARAM_STATIC_NICK | mutable_flag));
  g_free(text);
  return property;
}

static void gst_pelnik_src_class_init(GstPelnikSrcClass *klass) {
  GObjectClass *gobject_class = G_OBJECT_CLASS(klass);
  GstElementClass *element_class = GST_ELEMENT_CLASS(klass);
  GstBaseSrcClass *base_class = GST_BASE_SRC_CLASS(klass);
  GstPushSrcClass *push_class = GST_PUSH_SRC_CLASS(klass);

  gobject_class->set_property = gst_pelnik_src_set_property;
  gobject_class->get_property = gst_pelnik_src_get_property;
  gobject_class->finalize = gst_pelnik_src_finalize;

  const GParamFlags rw = (GParamFlags)(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
  g_object_class_install_property(
      gobject_class, PROP_CAMERA,
      g_param_spec_int("camera", "Camera", "Camera number, 0..31", 0, 31, 0,
                       (GParamFlags)(rw | GST_PARAM_MUTABLE_READY)));
  g_object_class_install_property(
      gobject_class, PROP_WINDOW,
      g_param_spec_string("window", "Window",
                          "Region of interest \"x,y,width,height\" on the 1280x1024 sensor "
                          "(empty: the camera's stored window)",
                          NULL, (GParamFlags)(rw | GST_PARAM_MUTABLE_READY)));
  g_object_class_install_property(
      gobject_class, PROP_SUBSAMPLE,
      int_keep("subsample", "1: half width and height, 0: full", GST_PARAM_MUTABLE_READY));
  g_object_class_install_property(
      gobject_class, PROP_COLOR_MODE,
      g_param_spec_int("color-mode", "Colour mode",
                       "Bits per pixel 8, 16, 24, 32, 48 or 64 (0: chosen by the caps, "
                       "colour 24 first)",
                       0, 64, 0, (GParamFlags)(rw | GST_PARAM_MUTABLE_READY)));
  g_object_class_install_property(
      gobject_class, PROP_EXPOSURE,
      int_keep("exposure", "Exposure in microseconds", GST_PARAM_MUTABLE_READY));
  /* The name pelnik-capture and Python give the same setting. */
  g_object_class_install_property(
      gobject_class, PROP_EXPOSURE_US,
      int_keep("exposure-us", "Exposure in microseconds (the same as exposure)",
               GST_PARAM_MUTABLE_READY));
  g_object_class_install_property(
      gobject_class, PROP_FULL_RANGE,
      g_param_spec_boolean("full-range", "Full range",
                           "Scale the 10-bit samples of the 16-bit modes to the full 16 bits "
                           "(false: deliver them as they are, 0..1023)",
                           TRUE, (GParamFlags)(rw | GST_PARAM_MUTABLE_PLAYING)));
  g_object_class_install_property(
      gobject_class, PROP_FRAME_TIMEOUT,
      g_param_spec_int("frame-timeout", "Frame time-out",
                       "Milliseconds without a frame after which the stream fails with SDK "
                       "error 13 (0: wait without limit)",
                       0, G_MAXINT, 0, (GParamFlags)(rw | GST_PARAM_MUTABLE_PLAYING)));
  g_object_class_install_property(
      gobject_class, PROP_SAVE_SETTINGS,
      g_param_spec_boolean("save-settings", "Save settings",
                           "Keep the values this pipeline set in the user's settings store "
                           "(false: the camera's stored settings are put back at the end)",
                           FALSE, (GParamFlags)(rw | GST_PARAM_MUTABLE_READY)));
  for (guint i = 0; i < N_FILTERS; ++i) {
    filter_properties[i] = int_keep(kFilters[i].name, kFilters[i].blurb, GST_PARAM_MUTABLE_PLAYING);
    g_object_class_install_property(gobject_class, PROP_FIRST_FILTER + i, filter_properties[i]);
  }

  signals[SIGNAL_SNAPSHOT] = g_signal_new_class_handler(
      "snapshot", G_TYPE_FROM_CLASS(klass), (GSignalFlags)(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
      G_CALLBACK(gst_pelnik_src_snapshot), NULL, NULL, NULL, G_TYPE_BOOLEAN, 2, G_TYPE_STRING,
      G_TYPE_INT);

  gst_element_class_set_static_metadata(element_class, "PelnikR5M-LX camera source", "Source/Video",
                                        "Live pictures of a PelnikR5M-LX USB camera",
                                        "PelnikR5M-LX SDK");
  gst_element_class_add_static_pad_template(element_class, &src_template);

  base_class->start = GST_DEBUG_FUNCPTR(gst_pelnik_src_start);
  base_class->stop = GST_DEBUG_FUNCPTR(gst_pelnik_src_stop);
  base_class->get_caps = GST_DEBUG_FUNCPTR(gst_pelnik_src_get_caps);
  base_class->set_caps = GST_DEBUG_FUNCPTR(gst_pelnik_src_set_caps);
  base_class->fixate = GST_DEBUG_FUNCPTR(gst_pelnik_src_fixate);
  base_class->unlock = GST_DEBUG_FUNCPTR(gst_pelnik_src_unlock);
  base_class->query = GST_DEBUG_FUNCPTR(gst_pelnik_src_query);
  base_class->unlock_stop = GST_DEBUG_FUNCPTR(gst_pelnik_src_unlock_stop);
  push_class->create = GST_DEBUG_FUNCPTR(gst_pelnik_src_create);

  GST_DEBUG_CATEGORY_INIT(gst_pelnik_src_debug, "pelniksrc", 0, "PelnikR5M-LX camera source");
}

static gboolean plugin_init(GstPlugin *plugin) {
  return gst_element_register(plugin, "pelniksrc", GST_RANK_NONE, GST_TYPE_PELNIK_SRC);
}

#define PACKAGE "pelniksdk"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, pelnik, "PelnikR5M-LX camera source",
                  plugin_init, PELNIK_VERSION, "unknown", "PelnikR5M-LX SDK", "PelnikR5M-LX SDK")
