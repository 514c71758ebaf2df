@echo off
rem Makes the five certificate and key files the proxy reads in its HTTPS modes, in DIR (the
rem program's folder): a fresh local root CA and two server certificates it signs, for the test
rem host and the production host of the tax authority. The same steps as tools/certs.sh.
rem
rem   fakeFinaCA.crt                        the root, DER (installed into the trust store, /rootcert)
rem   fakeFinaTest.crt / fakeFinaTest.key   cistest.apis-it.hr, PEM, key unencrypted
rem   fakeFina.crt / fakeFina.key           cis.porezna-uprava.hr, PEM, key unencrypted
rem
rem The root's private key lives only in a temp folder while the two certificates are signed and
rem is deleted afterwards, so nobody can issue more certificates under a root the machine trusts.
rem Needs openssl.exe on the PATH, or its full path in the variable OPENSSL.
rem
rem Usage: certs.bat DIR
setlocal EnableExtensions
if "%~1"=="" (
  echo usage: %~nx0 DIR 1>&2
  exit /b 2
)
set "DIR=%~f1"
if not defined OPENSSL set "OPENSSL=openssl"
set "TEST_HOST=cistest.apis-it.hr"
set "PRODUCTION_HOST=cis.porezna-uprava.hr"
set "DAYS=3650"

if not exist "%DIR%" mkdir "%DIR%" || exit /b 1
set "WORK=%TEMP%\vormetra-certs-%RANDOM%%RANDOM%"
mkdir "%WORK%" || exit /b 1

rem Our own minimal configuration, so the result does not depend on an openssl.cnf.
set "CNF=%WORK%\openssl.cnf"
> "%CNF%" (
  echo [req]
  echo distinguished_name = dn
  echo prompt = no
  echo [dn]
  echo CN = unused
  echo [root]
  echo basicConstraints = critical, CA:TRUE
  echo keyUsage = critical, keyCertSign, cRLSign
  echo subjectKeyIdentifier = hash
  echo [server_test]
  echo basicConstraints = critical, CA:FALSE
  echo keyUsage = critical, digitalSignature, keyEncipherment
  echo extendedKeyUsage = serverAuth
  echo subjectAltName = DNS:%TEST_HOST%
  echo subjectKeyIdentifier = hash
  echo authorityKeyIdentifier = keyid
  echo [server_production]
  echo basicConstraints = critical, CA:FALSE
  echo keyUsage = critical, digitalSignature, keyEncipherment
  echo extendedKeyUsage = serverAuth
  echo subjectAltName = DNS:%PRODUCTION_HOST%
  echo subjectKeyIdentifier = hash
  echo authorityKeyIdentifier = keyid
)
set "OPENSSL_CONF=%CNF%"

"%OPENSSL%" genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "%WORK%\ca.key" || goto failed
"%OPENSSL%" req -new -x509 -config "%CNF%" -key "%WORK%\ca.key" -sha256 -days %DAYS% -subj "/O=Vormetra Proxy/CN=Vormetra Proxy Local Root CA" -extensions root -out "%WORK%\ca.pem" || goto failed
"%OPENSSL%" x509 -in "%WORK%\ca.pem" -outform DER -out "%WORK%\fakeFinaCA.crt" || goto failed

call :server fakeFinaTest %TEST_HOST% server_test || goto failed
call :server fakeFina %PRODUCTION_HOST% server_production || goto failed

rem Move the finished set in only now, so a failure above leaves the old files untouched.
for %%f in (fakeFinaCA.crt fakeFinaTest.crt fakeFinaTest.key fakeFina.crt fakeFina.key) do (
  move /y "%WORK%\%%f" "%DIR%\%%f" >nul || goto failed
)
rmdir /s /q "%WORK%"
echo Certificates written to %DIR%
exit /b 0

rem :server NAME HOST SECTION - key and certificate for HOST, signed by the root.
:server
"%OPENSSL%" genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "%WORK%\%1.key" || exit /b 1
"%OPENSSL%" req -new -config "%CNF%" -key "%WORK%\%1.key" -subj "/CN=%2" -out "%WORK%\%1.csr" || exit /b 1
"%OPENSSL%" x509 -req -in "%WORK%\%1.csr" -CA "%WORK%\ca.pem" -CAkey "%WORK%\ca.key" -CAserial "%WORK%\ca.srl" -CAcreateserial -sha256 -days %DAYS% -extfile "%CNF%" -extensions %3 -out "%WORK%\%1.crt" 2>nul || exit /b 1
exit /b 0

:failed
echo Could not make the certificates. 1>&2
rmdir /s /q "%WORK%"
exit /b 1
