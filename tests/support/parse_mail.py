# Takes a stored message apart with Python's email parser and writes what it found into a folder:
# subject, date, body and the attachments, each decoded.
import email, email.header, email.policy, os, sys

message = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.compat32)
out = sys.argv[2]
subject = str(email.header.make_header(email.header.decode_header(message["Subject"] or "")))
open(os.path.join(out, "subject"), "w", encoding="utf-8").write(subject)
open(os.path.join(out, "date"), "w", encoding="utf-8").write(message["Date"] or "")
names = []
for part in message.walk():
    if part.is_multipart():
        continue
    name = part.get_filename()
    if name:
        name = str(email.header.make_header(email.header.decode_header(name)))
        names.append(name)
        open(os.path.join(out, "attachment%d" % len(names)), "wb").write(part.get_payload(decode=True))
    elif part.get_content_type() == "text/plain":
        text = part.get_payload(decode=True).decode(part.get_content_charset() or "us-ascii")
        open(os.path.join(out, "body"), "w", encoding="utf-8").write(text)
open(os.path.join(out, "names"), "w", encoding="utf-8").write("\n".join(names))
