#include "display/ShmSurface.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace lunavue {
namespace {

// Whether the server refused the attach: a server on another machine cannot reach our
// shared memory, and Xlib's own handler would end the program over it.
bool g_attachRefused = false;
int NoteRefusal(Display*, XErrorEvent*) {
    g_attachRefused = true;
    return 0;
}

}  // namespace

ShmSurface::~ShmSurface() {
    FreeImage();
    if (display_ != nullptr) {
        XFreeGC(display_, gc_);
        XCloseDisplay(display_);
    }
}

bool ShmSurface::Open(unsigned long window) {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) {
        return false;
    }
    XWindowAttributes attributes{};
    if (!XShmQueryExtension(display_) || !XGetWindowAttributes(display_, window, &attributes) ||
        attributes.depth < 24 || attributes.visual->red_mask != 0xFF0000 ||
        attributes.visual->green_mask != 0x00FF00 || attributes.visual->blue_mask != 0x0000FF) {
        XCloseDisplay(display_);
        display_ = nullptr;
        return false;
    }
    window_ = window;
    visual_ = attributes.visual;
    depth_ = attributes.depth;
    gc_ = XCreateGC(display_, window, 0, nullptr);
    completion_ = XShmGetEventBase(display_) + ShmCompletion;
    return true;
}

void ShmSurface::WaitUntilRead() {
    if (!reading_) {
        return;
    }
    reading_ = false;
    // Normally the server said long ago that it has read the last put.
    XEvent event;
    if (XCheckTypedEvent(display_, completion_, &event)) {
        return;
    }
    // If not, a round trip: when the server answers, it has carried out every request before
    // it, the put included. Nothing waits for the event itself, since none comes for a put
    // that failed (into a window already gone, say). Events that came meanwhile are for
    // puts now done, and are dropped so that none stands for a later put.
    XSync(display_, False);
    while (XCheckTypedEvent(display_, completion_, &event)) {
    }
}

void ShmSurface::FreeImage() {
    if (image_ == nullptr) {
        return;
    }
    WaitUntilRead();
    auto* info = static_cast<XShmSegmentInfo*>(segment_);
    XShmDetach(display_, info);
    XSync(display_, False);
    XDestroyImage(image_);
    shmdt(info->shmaddr);
    delete info;
    image_ = nullptr;
    segment_ = nullptr;
}

uint32_t* ShmSurface::Pixels(int w, int h, size_t& stride) {
    if (display_ == nullptr || w <= 0 || h <= 0) {
        return nullptr;
    }
    WaitUntilRead();
    if (image_ == nullptr || w != width_ || h != height_) {
        FreeImage();
        if (!CreateImage(w, h)) {
            return nullptr;
        }
    }
    stride = static_cast<size_t>(image_->bytes_per_line) / sizeof(uint32_t);
    return reinterpret_cast<uint32_t*>(image_->data);
}

// A w x h image in a new shared segment that the server has attached; false, with nothing
// left behind, when the memory cannot be had or the server cannot reach it.
bool ShmSurface::CreateImage(int w, int h) {
    auto* info = new XShmSegmentInfo{};
    info->shmid = -1;
    info->shmaddr = reinterpret_cast<char*>(-1);
    XImage* image =
        XShmCreateImage(display_, static_cast<Visual*>(visual_), static_cast<unsigned>(depth_),
                        ZPixmap, nullptr, info, static_cast<unsigned>(w), static_cast<unsigned>(h));
    bool attached = false;
    if (image != nullptr) {
        info->shmid =
            shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * h, IPC_CREAT | 0600);
    }
    if (info->shmid >= 0) {
        info->shmaddr = static_cast<char*>(shmat(info->shmid, nullptr, 0));
    }
    if (info->shmaddr != reinterpret_cast<char*>(-1)) {
        image->data = info->shmaddr;
        info->readOnly = True;
        g_attachRefused = false;
        const auto previous = XSetErrorHandler(NoteRefusal);
        XShmAttach(display_, info);
        XSync(display_, False);
        XSetErrorHandler(previous);
        attached = !g_attachRefused;
    }
    // Marked for removal now: it goes when both sides have let it go, even after a crash.
    if (info->shmid >= 0) {
        shmctl(info->shmid, IPC_RMID, nullptr);
    }
    if (!attached) {
        if (info->shmaddr != reinterpret_cast<char*>(-1)) {
            shmdt(info->shmaddr);
        }
        if (image != nullptr) {
            XDestroyImage(image);
        }
        delete info;
        return false;
    }
    image_ = image;
    segment_ = info;
    width_ = w;
    height_ = h;
    return true;
}

void ShmSurface::Put() {
    if (image_ == nullptr) {
        return;
    }
    XShmPutImage(display_, window_, gc_, image_, 0, 0, 0, 0, static_cast<unsigned>(width_),
                 static_cast<unsigned>(height_), True);
    XFlush(display_);
    reading_ = true;
}

}  // namespace lunavue
