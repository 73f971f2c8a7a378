# Reads a PNG with Pillow and prints what a texture editor would see in it:
# mode, size, bit depth, then the indices, the palette's colours and alphas for a
# palettised PNG, or the RGBA of every pixel. The tests compare that with the
# decode state.
import sys
from PIL import Image

im = Image.open(sys.argv[1])
with open(sys.argv[1], "rb") as f:
    depth = f.read(25)[24]
print(im.mode, im.size[0], im.size[1], depth)
if im.mode == "P":
    print(" ".join(str(v) for v in im.getdata()))
    palette = im.getpalette() or []
    print(" ".join(str(v) for v in palette[: 3 * int(sys.argv[2])]))
    trns = im.info.get("transparency", b"")
    print(" ".join(str(v) for v in (trns if isinstance(trns, bytes) else [trns])))
else:
    print(" ".join(str(c) for px in im.getdata() for c in px))
