# An independent reading and writing of the key backup blob, with python3-cryptography.
# keysblob.py decrypt PASSWORD < blob.json   -> prints the plaintext JSON
# keysblob.py encrypt PASSWORD KEYS_JSON     -> prints a blob
import base64
import json
import os
import sys

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from cryptography.hazmat.primitives.kdf.hkdf import HKDF


def derive(password, salt, info):
    return HKDF(algorithm=hashes.SHA256(), length=32, salt=salt, info=info).derive(password)


mode, password = sys.argv[1], sys.argv[2].encode()
if mode == "decrypt":
    blob = json.load(sys.stdin)
    salt = base64.b64decode(blob["salt"])
    if derive(password, salt, b"mirelo.backup.verifier") != base64.b64decode(blob["verifier"]):
        sys.exit("verifier mismatch")
    combined = base64.b64decode(blob["ciphertext"])
    key = derive(password, salt, b"mirelo.backup.encryption")
    print(AESGCM(key).decrypt(combined[:12], combined[12:], None).decode())
else:
    salt, nonce = os.urandom(32), os.urandom(12)
    key = derive(password, salt, b"mirelo.backup.encryption")
    sealed = AESGCM(key).encrypt(nonce, sys.argv[3].encode(), None)
    print(json.dumps({
        "salt": base64.b64encode(salt).decode(),
        "verifier": base64.b64encode(derive(password, salt, b"mirelo.backup.verifier")).decode(),
        "ciphertext": base64.b64encode(nonce + sealed).decode(),
    }))
