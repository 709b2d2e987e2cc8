#include "ServiceHosts.h"

#include "APINetworkClient.h"

ServiceHosts ServiceHosts::fromEnvironment()
{
    ServiceHosts h;
    h.openAI = APINetworkClient::baseURL("OVRA_OPENAI_BASE_URL", h.openAI);
    h.groq = APINetworkClient::baseURL("OVRA_GROQ_BASE_URL", h.groq);
    h.gemini = APINetworkClient::baseURL("OVRA_GEMINI_BASE_URL", h.gemini);
    h.anthropic = APINetworkClient::baseURL("OVRA_ANTHROPIC_BASE_URL", h.anthropic);
    return h;
}
