// hchat-server: the local chat server.
int main()
{
    return 0;
}
