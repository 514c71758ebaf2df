@echo off
rem Makes this machine's own certificate set beside VormetraProxy.exe: a new local root and,
rem signed by it, the certificates and keys of the test and the production host. The program
rem asks for administrator rights when its folder needs them. The root's private key is never
rem written anywhere. Install the new root afterwards (Certifikati, Instaliraj CA).
"%~dp0VormetraProxy.exe" /certs
exit /b %ERRORLEVEL%
