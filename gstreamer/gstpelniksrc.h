/* pelniksrc: a live GStreamer source of PelnikR5M-LX pictures, built on the
 * SDK's public C interface only. */
#ifndef GST_PELNIK_SRC_H
#define GST_PELNIK_SRC_H

#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

G_BEGIN_DECLS

#define GST_TYPE_PELNIK_SRC (gst_pelnik_src_get_type())
G_DECLARE_FINAL_TYPE(GstPelnikSrc, gst_pelnik_src, GST, PELNIK_SRC, GstPushSrc)

/* Property values meaning "leave the camera's stored setting alone". */
#define GST_PELNIK_SRC_KEEP G_MININT

G_END_DECLS

#endif /* GST_PELNIK_SRC_H */
