"""The names Pictalon must give files and folders, written out here on their own so the tests can
check the program against them rather than against its own code.

A picture file: "[YYYY.MM.DD-hh.mm]" (UTC+8) + cleaned caption + "-" + picture name, made a safe
name, with ".jpg" appended when its last four GBK bytes hold no "." or its extension is not a
picture's. A folder: the nick or the album caption made a safe name."""

import datetime

PICTURE_EXTENSIONS = {"jpg", "jpeg", "png", "gif", "webp", "bmp"}
CAPTION_REMOVED = set('/\\:*<>|?"\n\r ')
NAME_FORBIDDEN = set('\\/:*?"<>|')
RESERVED = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"} | \
    {"COM%d" % i for i in range(10)} | {"LPT%d" % i for i in range(10)}


def is_control(ch):
    return ord(ch) < 32 or ord(ch) == 127


def time_text(timestamp):
    moment = datetime.datetime(1970, 1, 1, 8, 0, 0) + datetime.timedelta(seconds=timestamp)
    return "[%04d.%02d.%02d-%02d.%02d]" % (moment.year, moment.month, moment.day, moment.hour,
                                           moment.minute)


def cut_gbk(text, limit):
    """The longest prefix of whole characters whose GBK form has at most limit bytes."""
    out, used = [], 0
    for ch in text:
        size = len(ch.encode("gbk"))
        if used + size > limit:
            break
        out.append(ch)
        used += size
    return "".join(out)


def clean_caption(caption):
    return "".join(ch for ch in cut_gbk(caption, 200)
                   if ch not in CAPTION_REMOVED and not is_control(ch))


def safe_name(name):
    kept = "".join(ch for ch in name if ch not in NAME_FORBIDDEN and not is_control(ch))
    kept = kept.strip(". ")
    if not kept:
        return "_"
    base = kept.split(".", 1)[0].rstrip(" ")
    if base.upper() in RESERVED:
        kept = "_" + kept
    return kept


def picture_file_name(timestamp, caption, pic_name):
    name = safe_name(time_text(timestamp) + clean_caption(caption) + "-" + pic_name)
    last4 = name.encode("gbk")[-4:]
    extension = name.rsplit(".", 1)[1].lower() if "." in name else ""
    if b"." not in last4 or extension not in PICTURE_EXTENSIONS:
        name += ".jpg"
    return name


def album_folder(save_folder, nick, caption):
    import os
    return os.path.join(save_folder, safe_name(nick), safe_name(caption))
