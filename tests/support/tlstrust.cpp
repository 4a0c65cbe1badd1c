#include "support/tlstrust.h"
#include "support/testpaths.h"
#include <wincrypt.h>
#include <vector>

bool TrustTestAuthority()
{
    const std::wstring strPath = GetBinFolder() + L"\\..\\certs\\ca.der";
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    std::vector<BYTE> certificate(GetFileSize(hFile, nullptr));
    DWORD cbRead = 0;
    BOOL fRead = ReadFile(hFile, certificate.data(), static_cast<DWORD>(certificate.size()), &cbRead, nullptr);
    CloseHandle(hFile);
    if (!fRead || cbRead != certificate.size() || certificate.empty())
    {
        return false;
    }
    // The machine's store, which every process of the prefix reads.
    HCERTSTORE hStore = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!hStore)
    {
        return false;
    }
    BOOL fAdded = CertAddEncodedCertificateToStore(hStore, X509_ASN_ENCODING, certificate.data(), cbRead,
                                                   CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(hStore, 0);
    return fAdded != FALSE;
}
