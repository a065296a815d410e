"""A headset on another host: hears the announcement, connects to the address
it carries and asks for the first title. Writes what it learnt to argv[1]."""
import socket
import struct
import sys


def read_exactly(connection, count):
    data = b""
    while len(data) < count:
        chunk = connection.recv(count - len(data))
        if not chunk:
            raise EOFError("connection closed")
        data += chunk
    return data


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.bind(("", 12450))
    listener.settimeout(5)
    datagram, source = listener.recvfrom(2048)
    magic, a, b, c, d, port, titles, further = struct.unpack_from("<Q4Biii", datagram)
    if magic != 0xD6FEDF35363046D8:
        raise ValueError("not an announcement")
    address = "%d.%d.%d.%d" % (a, b, c, d)
    others = "".join(" %d.%d.%d.%d" % struct.unpack_from("4B", datagram, 24 + 4 * i)
                     for i in range(further))

    connection = socket.create_connection((address, port), timeout=5)
    connection.sendall(struct.pack("<ii", 25601, 0))
    length = struct.unpack("<I", read_exactly(connection, 4))[0]
    payload = read_exactly(connection, length)
    code, status, title_length = struct.unpack_from("<iii", payload)
    title = payload[24:24 + title_length].decode("utf-8")

    with open(sys.argv[1], "w") as out:
        out.write("from %s address %s port %d titles %d further %d%s reply %d status %d title %s\n"
                  % (source[0], address, port, titles, further, others, code, status, title))


main()
