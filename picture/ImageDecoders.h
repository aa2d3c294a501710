// How a format decoder plugs into CPicture::Decode and format detection.
//
// A decoder is a class derived from CPicture that is built with its type
// number and has
//     bool Decode(ImageFile& file);
// reading from the file's current position through ImageFile only. On success
// it leaves the picture in its own object (made with CPicture::Create, so the
// type is set); on failure it returns false with a text set by SetError (or
// none) and never throws or crashes. It starts with the target image's
// settings (escape, frame, codec options...), copied by CopyInfo.
//
// To plug one in, add its case to CPicture::FindDecoder in PictureDecode.cpp.
// Detection tries the formats in the fixed order of kDetectionOrder there
// (BMP, JPEG, ICO, GIF, PNG, WBMP), rewinding the file between attempts.
// ICO and GIF hand their frameCount back to the target even when they fail.
#ifndef BRINDLEWOX_PICTURE_IMAGEDECODERS_H
#define BRINDLEWOX_PICTURE_IMAGEDECODERS_H

#include "picture/BmpDecoder.h"
#include "picture/GifDecoder.h"
#include "picture/IcoDecoder.h"
#include "picture/JpegDecoder.h"
#include "picture/PngDecoder.h"
#include "picture/WbmpDecoder.h"

#endif
